// The region large buffers come from: a buffer handed back is joined with
// the free space either side of it, so that buffers of an operation that
// come and go never leave it in pieces too small for the next (which would
// then come from new, a page fault at a time).
#include "codec/memory_pages.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

namespace huffman {
namespace {

constexpr std::size_t k_mib = std::size_t{1} << 20;

TEST(MemoryPagesTest, BuffersHandedBackJoinTheFreeSpaceOnEitherSide) {
  auto* const a = static_cast<std::uint8_t*>(TakePages(k_mib));
  // The region hands out whole 64 KiB grains; new does not align so.
  if (reinterpret_cast<std::uintptr_t>(a) % (64 * 1024) != 0) {
    GivePages(a, k_mib);
    GTEST_SKIP() << "no region here: large buffers come from new";
  }
  auto* const b = static_cast<std::uint8_t*>(TakePages(k_mib));
  auto* const c = static_cast<std::uint8_t*>(TakePages(k_mib));
  EXPECT_EQ(b, a + k_mib);
  EXPECT_EQ(c, b + k_mib);
  std::memset(a, 1, 3 * k_mib);

  GivePages(b, k_mib);
  GivePages(a, k_mib);  // joined with b's space after it
  auto* const two = static_cast<std::uint8_t*>(TakePages(2 * k_mib));
  EXPECT_EQ(two, a);

  GivePages(two, 2 * k_mib);
  GivePages(c, k_mib);  // joined with the space before it and after it
  auto* const three = static_cast<std::uint8_t*>(TakePages(3 * k_mib + 1));
  EXPECT_EQ(three, a);
  GivePages(three, 3 * k_mib + 1);
}

}  // namespace
}  // namespace huffman
