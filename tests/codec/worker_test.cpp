// The threads' jobs at one thread and at several: every part and every task
// handed along runs exactly once (a short job leaves the tasks for the next,
// a part with an owner the set does not have still runs), the tasks are
// taken before the job's own parts, and a part or task that throws ends the
// job with that exception on the caller's thread, once no other thread is
// inside the job, leaving the set ready for the next one; and a helper,
// moved off the caller's processor as it starts, may still run anywhere.
#include "codec/worker.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <functional>
#include <new>
#include <thread>

#if defined(__linux__)
#include <sched.h>
#endif

namespace huffman {
namespace {

// Until when a case's parts wait for one another: far beyond any wait the
// set makes, the bound only turns a hang into a failure.
std::chrono::steady_clock::time_point GiveUpAt() { return std::chrono::steady_clock::now() + std::chrono::minutes(1); }

// Waits until `ready()` holds or `give_up` comes, and says whether it held.
template <typename Condition>
bool WaitUntil(const Condition& ready, std::chrono::steady_clock::time_point give_up) {
  while (!ready()) {
    if (std::chrono::steady_clock::now() > give_up) return false;
    std::this_thread::yield();
  }
  return true;
}

// A set of `threads` threads, started.
struct Threads {
  explicit Threads(unsigned threads) : workers(threads), count(workers.ThreadsFor(k_large_block_bytes)) {}
  WorkerSet workers;
  unsigned count;
};

TEST(WorkerSetTest, EveryPartAndTaskRunsOnce) {
  for (const unsigned threads : {1U, 2U, 3U, 8U}) {
    SCOPED_TRACE(threads);
    Threads set(threads);
    ASSERT_EQ(set.count, threads);
    WorkerSet& workers = set.workers;
    std::array<std::atomic<int>, 7> runs{};
    std::array<std::atomic<int>, 3> tasks{};
    const std::function<void(unsigned)> job = [&](unsigned part) { ++runs[part]; };

    workers.Beside([&] { ++tasks[0]; });
    workers.Beside([&] { ++tasks[1]; }, true);
    workers.Run(6, job, true);  // a short job leaves the tasks to the next
    EXPECT_EQ(tasks[0] + tasks[1], 0);
    workers.Run(6, job);
    EXPECT_EQ(tasks[0], 1);
    EXPECT_EQ(tasks[1], 1);
    workers.Beside([&] { ++tasks[2]; });
    workers.Settle();
    workers.Settle();
    workers.Run(6, job);
    EXPECT_EQ(tasks[2], 1);
    // Parts with owners, those of threads the set does not have included.
    const std::uint8_t owners[] = {0, 1, 2, 7, 9, 1, 0};
    workers.Run(7, job, true, owners);
    for (unsigned part = 0; part < runs.size(); ++part) EXPECT_EQ(runs[part], part < 6 ? 4 : 1) << part;
    EXPECT_EQ(tasks[0] + tasks[1] + tasks[2], 3);
  }
}

TEST(WorkerSetTest, TasksHandedAlongAreTakenBeforeTheJobsParts) {
  // Each part waits for both tasks: were a part taken before them by every
  // thread, no thread would be left to run them.
  for (const unsigned threads : {1U, 2U, 4U}) {
    SCOPED_TRACE(threads);
    Threads set(threads);
    std::atomic<int> tasks_run{0};
    std::atomic<int> parts_waited{0};
    const auto give_up = GiveUpAt();
    set.workers.Beside([&] { ++tasks_run; });
    set.workers.Beside([&] { ++tasks_run; }, true);
    set.workers.Run(2 * threads, [&](unsigned) {
      if (WaitUntil([&] { return tasks_run == 2; }, give_up)) ++parts_waited;
    });
    EXPECT_EQ(parts_waited, static_cast<int>(2 * threads));
  }
}

#if defined(__linux__)
TEST(WorkerSetTest, AHelperMovedOffTheCallersProcessorMayStillRunOnEveryOne) {
  // A helper is moved off its starter's processor as it starts: once moved, it
  // must not stay bound to the others, nor this thread be moved at all.
  cpu_set_t before;
  ASSERT_EQ(sched_getaffinity(0, sizeof before, &before), 0);
  if (CPU_COUNT(&before) < 2) GTEST_SKIP() << "one processor: nowhere to move to";
  Threads set(2);
  ASSERT_EQ(set.count, 2U);
  const std::thread::id caller = std::this_thread::get_id();
  std::atomic<bool> helper_ran{false};
  cpu_set_t helper_set;
  CPU_ZERO(&helper_set);
  const auto give_up = GiveUpAt();
  set.workers.Run(2, [&](unsigned) {
    if (std::this_thread::get_id() == caller) {
      WaitUntil([&] { return helper_ran.load(); }, give_up);
    } else if (sched_getaffinity(0, sizeof helper_set, &helper_set) == 0) {
      helper_ran = true;
    }
  });
  ASSERT_TRUE(helper_ran);
  EXPECT_TRUE(CPU_EQUAL(&helper_set, &before));
  cpu_set_t after;
  ASSERT_EQ(sched_getaffinity(0, sizeof after, &after), 0);
  EXPECT_TRUE(CPU_EQUAL(&after, &before));
}
#endif

TEST(WorkerSetTest, APartThatThrowsEndsTheJobOnTheCallerOnceNoThreadIsInIt) {
  for (const unsigned threads : {1U, 2U, 4U}) {
    // The part that throws on the calling thread, then on a helper.
    for (const bool on_caller : {true, false}) {
      if (threads == 1 && !on_caller) continue;
      SCOPED_TRACE(::testing::Message() << threads << " threads, thrown " << (on_caller ? "here" : "on a helper"));
      Threads set(threads);
      std::atomic<unsigned> entered{0};
      std::atomic<unsigned> left{0};
      std::atomic<bool> thrown{false};
      const auto give_up = GiveUpAt();
      const std::thread::id caller = std::this_thread::get_id();
      // The part that throws waits until another part is running (where
      // there are helpers); the others are still busy when it throws.
      const auto part = [&](unsigned) {
        ++entered;
        struct Leave {
          std::atomic<unsigned>& count;
          ~Leave() { ++count; }
        } leave{left};
        if ((std::this_thread::get_id() == caller) == on_caller) {
          if (threads > 1) WaitUntil([&] { return entered >= 2; }, give_up);
          thrown = true;
          throw std::bad_alloc();
        }
        WaitUntil([&] { return thrown.load(); }, give_up);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
      };
      EXPECT_THROW(set.workers.Run(2 * threads, part), std::bad_alloc);
      EXPECT_GE(entered, threads > 1 ? 2U : 1U);
      EXPECT_EQ(left, entered);

      // A task handed along that throws: taken first, it ends the job too,
      // and is gone; so is one that throws at a Settle, with the task
      // after it.
      std::atomic<int> runs{0};
      set.workers.Beside([] { throw std::bad_alloc(); });
      EXPECT_THROW(set.workers.Run(threads, [&](unsigned) { ++runs; }), std::bad_alloc);
      runs = 0;
      set.workers.Beside([] { throw std::bad_alloc(); });
      set.workers.Beside([&] { runs += 100; });
      EXPECT_THROW(set.workers.Settle(), std::bad_alloc);

      // The set is whole: the next job runs every part once, no task left.
      set.workers.Run(2 * threads, [&](unsigned) { ++runs; });
      EXPECT_EQ(runs, static_cast<int>(2 * threads));
    }
  }
}

}  // namespace
}  // namespace huffman
