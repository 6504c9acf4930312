#include "platform/processors.h"

#include <algorithm>
#include <thread>

#if defined(__linux__)
#include <pthread.h>
#include <sched.h>
#endif

namespace huffman {

unsigned AvailableProcessors() {
#if defined(__linux__)
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof set, &set) == 0) {
    const int count = CPU_COUNT(&set);
    if (count > 0) return static_cast<unsigned>(count);
  }
#endif
  return std::max(1U, std::thread::hardware_concurrency());
}

void MoveOffThisProcessor(std::thread& thread) {
#if defined(__linux__)
  const int here = sched_getcpu();
  if (here < 0 || here >= CPU_SETSIZE) return;
  const pthread_t handle = thread.native_handle();
  cpu_set_t allowed;
  if (pthread_getaffinity_np(handle, sizeof allowed, &allowed) != 0 || !CPU_ISSET(here, &allowed)) return;
  cpu_set_t elsewhere = allowed;
  CPU_CLR(here, &elsewhere);
  if (CPU_COUNT(&elsewhere) == 0) return;
  // The narrower set moves the thread at once, queued or running; the wider
  // one then lets it stay where it was moved.
  if (pthread_setaffinity_np(handle, sizeof elsewhere, &elsewhere) == 0) {
    pthread_setaffinity_np(handle, sizeof allowed, &allowed);
  }
#else
  (void)thread;
#endif
}

}  // namespace huffman
