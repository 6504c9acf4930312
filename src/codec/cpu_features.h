// Instructions of later x86-64 processors, used where the processor has
// them: a hot loop is compiled a second time with HUFFMAN_TARGET_BMI2 and
// chosen at run time where the Codec allows it and the processor has BMI2.
// BMI2's shifts by a register count take one operation and any register,
// where the plain ones take two or three and need the count in CL.
#pragma once

#ifndef HUFFMAN_CODEC_INTERNAL
#error "codec/cpu_features.h is private to the codec: include <huffman/codec.h>"
#endif

namespace huffman {

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define HUFFMAN_TARGET_BMI2 __attribute__((target("bmi2")))
#else
#define HUFFMAN_TARGET_BMI2
#endif

// Whether the processor runs the BMI2 loops.  Both kinds of loop give the
// same bytes; the tests run both.
bool ProcessorHasBmi2();

}  // namespace huffman
