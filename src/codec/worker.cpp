#include "codec/worker.h"

#include <atomic>
#include <cassert>

#include "codec/operations.h"

namespace huffman {

namespace {

// Set by SetThreadCount; 0 lets the machine decide.
std::atomic<unsigned> thread_count{0};

}  // namespace

void SetThreadCount(unsigned threads) { thread_count.store(threads); }

Worker::Worker() : thread([this] { Loop(); }) {}

Worker::~Worker() {
  {
    std::lock_guard lock(mutex);
    stopping = true;
  }
  changed.notify_all();
  thread.join();
}

std::unique_ptr<Worker> Worker::IfUseful() {
  const unsigned threads = thread_count.load();
  if (threads == 1 || (threads == 0 && std::thread::hardware_concurrency() < 2)) return nullptr;
  return std::make_unique<Worker>();
}

void Worker::Start(std::function<void()> next_job) {
  {
    std::lock_guard lock(mutex);
    assert(!busy);
    job = std::move(next_job);
    busy = true;
  }
  changed.notify_all();
}

void Worker::Wait() {
  std::unique_lock lock(mutex);
  changed.wait(lock, [this] { return !busy; });
}

void Worker::Loop() {
  std::unique_lock lock(mutex);
  for (;;) {
    changed.wait(lock, [this] { return busy || stopping; });
    if (!busy) return;  // stopping, nothing left to do
    lock.unlock();
    job();
    lock.lock();
    busy = false;
    changed.notify_all();
  }
}

}  // namespace huffman
