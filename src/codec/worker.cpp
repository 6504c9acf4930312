#include "codec/worker.h"

#include <algorithm>
#include <atomic>
#include <cassert>
#include <system_error>
#include <utility>

#include "codec/spin_wait.h"
#include "platform/processors.h"

namespace huffman {

WorkerSet::WorkerSet(unsigned thread_count) : thread_target(std::clamp(thread_count, 1U, k_max_threads)) {}

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
  if (threads == 0) Start(thread_target);
  return threads;
}

unsigned WorkerSet::PartsFor(std::size_t bytes) {
  const unsigned count = ThreadsFor(bytes);
  if (count == 1) return 1;
  const auto most = static_cast<unsigned>(std::max<std::size_t>(bytes / k_min_part_bytes, count));
  return std::min(count * k_parts_per_thread, most);
}

void WorkerSet::Start(unsigned count) {
  // A thread that watches holds a core: with more threads than cores, it
  // would hold up the one it waits for.
  cores = AvailableProcessors();
  watch = count <= cores;
  helpers.reserve(count - 1);
  for (unsigned helper = 1; helper < count; ++helper) {
    try {
      helpers.emplace_back([this, helper] { Loop(helper); });
      // A helper queued on this thread's processor would wait there, or
      // share it, until the system spreads the two out, which takes
      // milliseconds.  With more threads than cores, too, every helper
      // starts elsewhere, and this processor is left to this thread.
      MoveOffThisProcessor(helpers.back());
    } catch (const std::system_error&) {
      // The system starts no more threads (a limit on processes or on
      // memory): the set works with those it has, to the same result.
      break;
    }
  }
  threads = static_cast<unsigned>(helpers.size()) + 1;
}

void WorkerSet::RunOwned(unsigned part_count, const std::function<void(unsigned)>& next_job, PartOwners& owners) {
  if (owners.parts != part_count) {
    const unsigned threads_now = std::max(threads, 1U);
    for (unsigned part = 0; part < part_count; ++part) {
      owners.ran[part] = static_cast<std::uint8_t>(part * threads_now / part_count);
    }
    owners.parts = part_count;
  }
  const std::array<std::uint8_t, k_max_parts> before = owners.ran;
  Share(
      part_count,
      [&next_job, &owners](unsigned part, unsigned thread) {
        owners.ran[part] = static_cast<std::uint8_t>(thread);
        next_job(part);
      },
      false, before.data());
}

unsigned WorkerSet::TakePart(unsigned thread) {
  if (owners == nullptr || taken < side_parts) return taken < parts ? taken++ : parts;
  const unsigned own_parts = parts - side_parts;
  unsigned found = own_parts;
  for (unsigned part = 0; part < own_parts; ++part) {
    if (owned_taken[part]) continue;
    if (owners[part] == thread) {
      found = part;
      break;
    }
    if (found == own_parts) found = part;
  }
  if (found == own_parts) return parts;
  owned_taken[found] = true;
  ++taken;
  return side_parts + found;
}

void WorkerSet::Run(unsigned part_count, const std::function<void(unsigned)>& next_job, bool short_job,
                    const std::uint8_t* part_owners) {
  Share(
      part_count, [&next_job](unsigned part, unsigned /*thread*/) { next_job(part); }, short_job, part_owners);
}

void WorkerSet::Share(unsigned part_count, const std::function<void(unsigned part, unsigned thread)>& next_job,
                      bool short_job, const std::uint8_t* part_owners) {
  assert(part_count >= 1 && part_count <= k_max_parts);
  const unsigned side_taken = short_job ? 0 : side_count;
  if (helpers.empty() || (part_count == 1 && side_taken == 0)) {
    if (!short_job) Settle();
    for (unsigned part = 0; part < part_count; ++part) next_job(part, 0);
    return;
  }
  sharing.store(true, std::memory_order_relaxed);
  std::unique_lock lock(mutex);
  job = &next_job;
  side_parts = side_taken;
  parts = side_taken + part_count;
  owners = part_owners;
  if (owners != nullptr) owned_taken.fill(false);
  taken = done = 0;
  const std::uint64_t job_generation = ++generation;
  if (watch) {
    changed.notify_all();
  } else {
    // More threads than cores: as many wake as there are cores to run them,
    // and on one core one helper, so that a shared job is still shared.  One
    // more would only be held back, maybe in the middle of a part the job
    // then waits for.
    const unsigned woken = std::max(cores, 2U) - 1;
    for (unsigned helper = 0; helper < woken; ++helper) changed.notify_one();
  }
  RunParts(lock, job_generation, 0);
  if (done != parts) {
    // The parts left are running on the helpers and end within a part's
    // time, usually sooner than a sleeping thread is woken.
    if (watch) {
      lock.unlock();
      const unsigned all = parts;
      SpinUntil([this, all] { return done.load(std::memory_order_acquire) == all; });
      lock.lock();
    }
    finished.wait(lock, [this] { return done == parts; });
  }
  job = nullptr;
  owners = nullptr;
  if (side_parts > 0) {
    for (unsigned task = 0; task < side_count; ++task) side[task] = nullptr;
    side_count = side_parts = 0;
  }
  sharing.store(false, std::memory_order_relaxed);
  // Every part taken has returned: no helper is in the job any more.
  if (failure) std::rethrow_exception(std::exchange(failure, nullptr));
}

void WorkerSet::Beside(std::function<void()> task, bool long_task) {
  assert(side_count < k_max_side_tasks && !sharing.load(std::memory_order_relaxed));
  side[side_count++] = std::move(task);
  if (long_task) std::rotate(side.begin(), side.begin() + side_count - 1, side.begin() + side_count);
}

void WorkerSet::Settle() {
  assert(!sharing.load(std::memory_order_relaxed));
  // Out of the set before any runs: a task that throws takes those after
  // it along, unrun.
  std::array<std::function<void()>, k_max_side_tasks> tasks;
  const unsigned count = std::exchange(side_count, 0U);
  for (unsigned task = 0; task < count; ++task) tasks[task] = std::exchange(side[task], nullptr);
  for (unsigned task = 0; task < count; ++task) tasks[task]();
}

void WorkerSet::SettleQuietly() noexcept {
  try {
    Settle();
  } catch (...) {
    // Dropped: the operation is ending with a failure of its own.
  }
}

void WorkerSet::RunParts(std::unique_lock<std::mutex>& lock, std::uint64_t job_generation, unsigned thread) {
  // A part is taken only for the job it was woken for: Run returns, and a
  // next job can start, only once every part has returned.
  while (generation == job_generation && taken < parts) {
    const unsigned part = TakePart(thread);
    const auto* current = job;
    lock.unlock();
    std::exception_ptr thrown;
    try {
      if (part < side_parts) {
        side[part]();
      } else {
        (*current)(part - side_parts, thread);
      }
    } catch (...) {
      thrown = std::current_exception();
    }
    lock.lock();
    unsigned returned = 1;
    if (thrown) {
      if (!failure) failure = std::move(thrown);
      // The parts no thread has taken yet are not run: the job has failed.
      returned += parts - taken;
      taken = parts;
    }
    if ((done += returned) == parts) finished.notify_one();  // only Run's caller waits for it
  }
}

void WorkerSet::Loop(unsigned thread) {
  std::uint64_t seen = 0;
  std::unique_lock lock(mutex);
  for (;;) {
    // The next job usually follows within the short serial step between
    // two blocks, sooner than a sleeping thread is woken.
    if (!stopping && watch) {
      lock.unlock();
      SpinUntil([this, seen] { return generation.load(std::memory_order_acquire) != seen; });
      lock.lock();
    }
    changed.wait(lock, [&] { return generation != seen || stopping; });
    if (stopping) return;
    seen = generation;
    RunParts(lock, seen, thread);
  }
}

}  // namespace huffman
