// The codec's threads for large blocks: a set of helper threads, created
// the first time a block is large enough to repay handing work over (so
// small files never start a thread) and kept by the Codec for every file
// after.  A job is cut into parts, more than there are threads: the calling
// thread and the helpers each take the next part not yet taken until none
// is left, so a thread the system holds back (the machine's cores are
// shared with other work) takes fewer parts instead of keeping the others
// waiting.  Run returns when all are done.
//
// Reading and writing go along with the jobs: a block source or sink hands
// its next read or its last write to the set (Beside), and the next job
// takes it as one more part, so the I/O of one block proceeds beside the
// coding of another on the same threads, with no thread of its own to wake.
//
// A part that throws (memory running out) ends its job early: no part is
// taken after it, and once the parts already taken have returned, Run
// throws it again on the caller's thread, where the operation makes it
// its result.  No helper thread ever ends the process, and no caller
// unwinds while a helper still runs a part that uses its frame.
#pragma once

#ifndef HUFFMAN_CODEC_INTERNAL
#error "codec/worker.h is private to the codec: include <huffman/codec.h>"
#endif

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "huffman/codec.h"

namespace huffman {

// Blocks from this size on are shared among the threads; smaller ones cost
// more to hand over than they take to code.  Half a restore's read block, so
// that a block a restore decodes short of its last byte (to check how the
// payload ends) is still shared.
inline constexpr std::size_t k_large_block_bytes = 128 * 1024;
// Parts per thread of a large block, and the smallest part worth handing over.
inline constexpr unsigned k_parts_per_thread = 4;
inline constexpr std::size_t k_min_part_bytes = 16 * 1024;
inline constexpr unsigned k_max_parts = k_parts_per_thread * k_max_threads;

// Which thread ran each part of the jobs run with it (WorkerSet::RunOwned):
// jobs cut the same way, block after block, keep each part on the thread
// whose cache holds its data.
class PartOwners {
 public:
  // Who ran each part of the last job: 0 for the thread that calls Run, 1
  // and on for the helpers.
  const std::uint8_t* Threads() const { return ran.data(); }

 private:
  friend class WorkerSet;
  std::array<std::uint8_t, k_max_parts> ran{};
  unsigned parts = 0;  // of the job `ran` is for
};

class WorkerSet {
 public:
  // Shares large blocks among `thread_count` threads (1 .. k_max_threads),
  // the caller's included.
  explicit WorkerSet(unsigned thread_count);
  ~WorkerSet();
  WorkerSet(const WorkerSet&) = delete;
  WorkerSet& operator=(const WorkerSet&) = delete;

  // Threads a block of `bytes` is shared among: 1 below k_large_block_bytes,
  // else the set's thread count.
  unsigned ThreadsFor(std::size_t bytes);
  // Parts a block of `bytes` is cut into: 1 where ThreadsFor is 1, else
  // k_parts_per_thread per thread, as far as each part keeps
  // k_min_part_bytes.
  unsigned PartsFor(std::size_t bytes);

  // Calls next_job(0) .. next_job(part_count - 1), each once, on this
  // thread and the helpers, and returns once all have returned.  A job must
  // not depend on which thread runs a part.  A short job (a copy) leaves
  // the tasks handed along (Beside) to the next one, where a long task has
  // the job's own parts to be balanced against.
  //
  // With `owners`, part k is best run on thread owners[k] (as PartOwners
  // numbers them): the data it uses was made there and is still in that
  // processor's cache.  A thread takes the tasks handed along first, then
  // its own parts, then any part left, so no part waits for a thread that
  // is late.
  //
  // If a part or a task handed along throws, the parts not yet taken are
  // not run (the tasks among them are dropped), and Run throws the first
  // exception once every part taken has returned.
  void Run(unsigned part_count, const std::function<void(unsigned)>& next_job, bool short_job = false,
           const std::uint8_t* owners = nullptr);
  // The same, each part first to the thread that ran it in the job run
  // before with `owners` (cut into as many parts; else the parts in even
  // runs, the first to this thread), and noting who runs it now.
  void RunOwned(unsigned part_count, const std::function<void(unsigned)>& next_job, PartOwners& owners);

  // Hands `task` along with the next job Run shares among threads: it runs
  // as one more part, taken before the job's own, and a `long_task` before
  // the others, so that no thread is left with a long part when the rest
  // are done.  Until that Run or a Settle returns, the caller leaves alone
  // what the task uses.  At most k_max_side_tasks wait at a time.
  void Beside(std::function<void()> task, bool long_task = false);
  // Runs here, in the order a job would take them, the tasks no job has
  // run yet.  If one throws, those after it are dropped and Settle throws
  // it; no task is left either way.
  void Settle();
  // Settle for a destructor, which must not throw: what a task throws is
  // dropped.  A task is still waiting at a destructor only where the
  // operation is ending early, with a failure of its own.
  void SettleQuietly() noexcept;

 private:
  static constexpr unsigned k_max_side_tasks = 4;

  void Start(unsigned count);
  // Run's work, each part told which thread runs it.
  void Share(unsigned part_count, const std::function<void(unsigned part, unsigned thread)>& next_job, bool short_job,
             const std::uint8_t* part_owners);
  // A helper's life: `thread` is its number (1 and on).
  void Loop(unsigned thread);
  // Runs parts of the job of `job_generation` on `thread` while any is
  // left; called and returns with `lock` held.
  void RunParts(std::unique_lock<std::mutex>& lock, std::uint64_t job_generation, unsigned thread);
  // The next part for `thread` to take, or `parts` if none is left.
  unsigned TakePart(unsigned thread);

  unsigned thread_target;  // the threads it shares large blocks among
  unsigned threads = 0;    // started (the caller's included); 0: none yet
  unsigned cores = 0;      // this process may run on, seen when the threads start
  bool watch = true;       // whether a waiting thread watches before it sleeps
  std::mutex mutex;
  std::condition_variable changed;   // a job started, or the helpers stop
  std::condition_variable finished;  // the job's last part returned
  const std::function<void(unsigned, unsigned)>* job = nullptr;
  // Tasks handed along (Beside): only the caller changes them, between jobs.
  std::array<std::function<void()>, k_max_side_tasks> side;
  unsigned side_count = 0;
  // Set while Run shares a job: a part must not hand a task along.
  std::atomic<bool> sharing{false};
  // Of the current job's parts, the first `side_parts` are those tasks.
  unsigned side_parts = 0;
  unsigned parts = 0;
  unsigned taken = 0;  // parts handed out, in order (when no part has an owner)
  // With owners: each of the job's own parts' owner, and which are taken.
  const std::uint8_t* owners = nullptr;
  std::array<bool, k_max_parts> owned_taken{};
  // Parts returned, or not to be run: changed under `mutex`, and atomic so
  // that Run may watch it before it sleeps (spin_wait.h).
  std::atomic<unsigned> done{0};
  // The first exception a part of the current job threw, under `mutex`.
  std::exception_ptr failure;
  // Jobs started: changed under `mutex`, and atomic so that an idle helper
  // may watch for the next job before it sleeps.
  std::atomic<std::uint64_t> generation{0};
  bool stopping = false;
  std::vector<std::thread> helpers;
};

}  // namespace huffman
