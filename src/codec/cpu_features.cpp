#include "codec/cpu_features.h"

#include <atomic>

namespace huffman {

namespace {

std::atomic<bool> bmi2_allowed{true};

bool ProcessorHasBmi2() {
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
  return __builtin_cpu_supports("bmi2");
#else
  return false;
#endif
}

}  // namespace

bool UseBmi2() {
  static const bool has = ProcessorHasBmi2();
  return has && bmi2_allowed.load(std::memory_order_relaxed);
}

void AllowBmi2(bool allowed) { bmi2_allowed.store(allowed, std::memory_order_relaxed); }

}  // namespace huffman
