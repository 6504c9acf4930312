#include "codec/worker.h"

#include <algorithm>
#include <atomic>
#include <cassert>

#include "codec/operations.h"

#if defined(__linux__)
#include <sched.h>
#endif

namespace huffman {

namespace {

std::atomic<unsigned> requested_threads{0};

// The cores this process may run on: its CPU affinity where the system
// tells it, else the machine's hardware threads.
unsigned AvailableCores() {
#if defined(__linux__)
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof set, &set) == 0) {
    const int count = CPU_COUNT(&set);
    if (count > 0) return static_cast<unsigned>(count);
  }
#endif
  return std::max(1U, std::thread::hardware_concurrency());
}

}  // namespace

void SetThreadCount(unsigned threads) { requested_threads.store(threads, std::memory_order_relaxed); }

unsigned ThreadCount() {
  const unsigned requested = requested_threads.load(std::memory_order_relaxed);
  return std::min(requested == 0 ? AvailableCores() : requested, k_max_threads);
}

WorkerSet::~WorkerSet() {
  {
    std::lock_guard lock(mutex);
    stopping = true;
  }
  changed.notify_all();
  for (auto& helper : helpers) helper.join();
}

unsigned WorkerSet::ThreadsFor(std::size_t bytes) {
  if (bytes < k_large_block_bytes) return 1;
  if (threads == 0) Start(ThreadCount());
  return threads;
}

void WorkerSet::Start(unsigned count) {
  threads = count;
  helpers.reserve(count - 1);
  for (unsigned part = 1; part < count; ++part) helpers.emplace_back([this, part] { Loop(part); });
}

void WorkerSet::Run(unsigned part_count, const std::function<void(unsigned)>& next_job) {
  assert(part_count >= 1 && part_count <= std::max(threads, 1U));
  if (part_count == 1) {
    next_job(0);
    return;
  }
  {
    std::lock_guard lock(mutex);
    job = &next_job;
    parts = part_count;
    pending = part_count - 1;
    ++generation;
  }
  changed.notify_all();
  next_job(0);
  std::unique_lock lock(mutex);
  changed.wait(lock, [this] { return pending == 0; });
  job = nullptr;
}

void WorkerSet::Loop(unsigned part) {
  std::uint64_t seen = 0;
  std::unique_lock lock(mutex);
  for (;;) {
    changed.wait(lock, [&] { return generation != seen || stopping; });
    if (stopping) return;
    seen = generation;
    if (part >= parts) continue;
    const auto* current = job;
    lock.unlock();
    (*current)(part);
    lock.lock();
    if (--pending == 0) changed.notify_all();
  }
}

}  // namespace huffman
