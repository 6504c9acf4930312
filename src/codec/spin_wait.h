// Waiting a short while without sleeping.  Waking a sleeping thread takes
// tens of microseconds (on a virtual machine, where an idle processor is
// halted, more), as long as coding a part of a block: a thread waiting for
// something due within about that time does better to watch for it, and to
// sleep only if it does not come.
#pragma once

#ifndef HUFFMAN_CODEC_INTERNAL
#error "codec/spin_wait.h is private to the codec: include <huffman/codec.h>"
#endif

#include <chrono>
#include <thread>

#if defined(__x86_64__) || defined(_M_X64) || defined(__i386__)
#include <immintrin.h>
#endif

namespace huffman {

// How long a thread watches before it sleeps.
inline constexpr std::chrono::microseconds k_spin_budget{50};

// Eases off the processor while watching.
inline void CpuRelax() {
#if defined(__x86_64__) || defined(_M_X64) || defined(__i386__)
  _mm_pause();
#else
  std::this_thread::yield();
#endif
}

// Watches `ready` (which reads atomics only) for up to k_spin_budget;
// whether it came true.
template <typename Ready>
bool SpinUntil(const Ready& ready) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + k_spin_budget;
  for (;;) {
    for (int round = 0; round < 64; ++round) {
      if (ready()) return true;
      CpuRelax();
    }
    if (Clock::now() >= deadline) return false;
  }
}

}  // namespace huffman
