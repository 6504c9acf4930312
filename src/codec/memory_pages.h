// Memory for the codec's large buffers.  Fresh memory faults in a page at a
// time on first touch, and each fault costs microseconds: for a buffer of
// megabytes that the coding is sure to fill, more than filling it.  On a
// virtual machine whose host shadows the guest's page tables, the first
// touch of each 4 KiB page costs that much even when the pages were mapped
// in advance.  So large buffers come from one region that the system may
// back with 2 MiB pages (a fault for 512 small ones), and go back to it for
// the next buffer rather than to the system.
#pragma once

#ifndef HUFFMAN_CODEC_INTERNAL
#error "codec/memory_pages.h is private to the codec: include <huffman/codec.h>"
#endif

#include <cstddef>
#include <memory>
#include <type_traits>

namespace huffman {

// Maps the pages of `bytes` bytes at `start` in advance, where the system
// can (Linux 5.14 on); elsewhere, and for buffers too small to gain, nothing.
void PrefaultPages(void* start, std::size_t bytes);

// `bytes` uninitialised bytes, aligned for any type; throws std::bad_alloc
// as new does.  Large ones come from the region where there is one.  Every
// page of the region that a buffer takes is memory in use (2 MiB at a
// time), so a buffer of which only parts are ever touched does not belong
// there.
void* TakePages(std::size_t bytes);
// Hands back what TakePages(bytes) gave.
void GivePages(void* start, std::size_t bytes) noexcept;

template <typename T>
struct PagesDeleter {
  std::size_t count = 0;
  void operator()(T* start) const noexcept { GivePages(start, count * sizeof(T)); }
};

// An array of `count` uninitialised T from TakePages.
template <typename T>
using PageArray = std::unique_ptr<T[], PagesDeleter<T>>;

template <typename T>
PageArray<T> MakePageArray(std::size_t count) {
  static_assert(std::is_trivially_default_constructible_v<T> && std::is_trivially_destructible_v<T>);
  return PageArray<T>(static_cast<T*>(TakePages(count * sizeof(T))), PagesDeleter<T>{count});
}

}  // namespace huffman
