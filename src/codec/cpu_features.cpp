#include "codec/cpu_features.h"

namespace huffman {

bool ProcessorHasBmi2() {
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
  return __builtin_cpu_supports("bmi2");
#else
  return false;
#endif
}

}  // namespace huffman
