// Work handed along with the threads' jobs (the reads and writes beside the
// coding): each task runs exactly once, with the next job that takes it or
// at a Settle, the long one first; a short job leaves it for the next.  A
// job whose parts have owners runs each part once, whoever is there.
#include "codec/worker.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <mutex>
#include <string>

namespace huffman {
namespace {

TEST(WorkerSetTest, TasksHandedAlongRunOnceWithTheNextJobThatTakesThem) {
  for (const unsigned threads : {1U, 2U, 3U, 8U}) {
    SCOPED_TRACE(threads);
    WorkerSet workers(threads);
    ASSERT_EQ(workers.ThreadsFor(k_large_block_bytes), threads);
    std::mutex order_lock;
    std::string order;
    const auto note = [&](char task) {
      std::lock_guard lock(order_lock);
      order += task;
    };
    std::atomic<unsigned> parts_run{0};
    const std::function<void(unsigned)> job = [&](unsigned) { ++parts_run; };

    workers.Beside([&] { note('r'); });
    workers.Beside([&] { note('w'); }, true);
    workers.Run(6, job, true);
    EXPECT_EQ(order, "");
    workers.Run(6, job);
    ASSERT_EQ(order.size(), 2U);
    if (threads == 1) {
      EXPECT_EQ(order, "wr");  // one thread takes the long task first
    }
    workers.Run(6, job);
    workers.Settle();
    EXPECT_EQ(order.size(), 2U);
    EXPECT_EQ(parts_run.load(), 18U);

    workers.Beside([&] { note('s'); });
    workers.Settle();
    workers.Settle();
    EXPECT_EQ(order.substr(2), "s");

    // Parts with owners run once each, those of a thread the set does not
    // have included.
    const std::uint8_t owners[] = {0, 1, 2, 7, 9, 1, 0};
    std::array<std::atomic<int>, 7> runs{};
    workers.Run(
        7, [&](unsigned part) { ++runs[part]; }, true, owners);
    for (const auto& count : runs) EXPECT_EQ(count.load(), 1);
  }
}

}  // namespace
}  // namespace huffman
