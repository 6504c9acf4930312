// The codec's threads for large blocks.  One thread count for the process
// (SetThreadCount), and per operation one set of helper threads, created the
// first time a block is large enough to repay handing work over, so small
// files never start a thread.  A job is cut into parts: part 0 runs on the
// calling thread, the others on the helpers, and Run returns when all are done.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace huffman {

// Blocks from this size on are shared among the threads; smaller ones cost
// more to hand over than they take to code.  Half a restore's read block, so
// that a block a restore decodes short of its last byte (to check how the
// payload ends) is still shared.
inline constexpr std::size_t k_large_block_bytes = 128 * 1024;
// More threads than this would cut a large block into pieces too small to
// repay their hand-over.
inline constexpr unsigned k_max_threads = 16;

// The thread count SetThreadCount asked for, resolved: 0 becomes the cores
// this process may run on.  Between 1 and k_max_threads.
unsigned ThreadCount();

class WorkerSet {
 public:
  WorkerSet() = default;
  ~WorkerSet();
  WorkerSet(const WorkerSet&) = delete;
  WorkerSet& operator=(const WorkerSet&) = delete;

  // Threads a block of `bytes` is shared among: 1 below k_large_block_bytes,
  // else ThreadCount() as read when the operation first needed it.
  unsigned ThreadsFor(std::size_t bytes);

  // Calls next_job(0) .. next_job(part_count - 1), part 0 here and the
  // others on helper threads, and returns once all have returned.
  // `part_count` must not exceed ThreadsFor of a large block.
  void Run(unsigned part_count, const std::function<void(unsigned)>& next_job);

 private:
  void Start(unsigned count);
  void Loop(unsigned part);

  unsigned threads = 0;  // 0: not asked yet
  std::mutex mutex;
  std::condition_variable changed;
  const std::function<void(unsigned)>* job = nullptr;
  unsigned parts = 0;
  unsigned pending = 0;
  std::uint64_t generation = 0;
  bool stopping = false;
  std::vector<std::thread> helpers;
};

}  // namespace huffman
