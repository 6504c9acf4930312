// Memory straight from the system for a Codec's large buffers.  Fresh memory
// faults in a page at a time on first touch, and on a virtual machine whose
// host shadows the guest's page tables each first touch of a 4 KiB page
// costs microseconds: so a region is asked for whose pages the system may
// back with 2 MiB ones (a fault for 512 small ones), mapped in advance where
// the caller is sure to fill them, and given back to the system whole.
#pragma once

#include <cstddef>

namespace huffman {

// Whether large buffers come from here at all: not under AddressSanitizer,
// which then sees each buffer as an allocation of its own, with its bounds.
bool LargeBuffersFromSystem();

// `bytes` (a multiple of 2 MiB) of address space for buffers, aligned to 2 MiB,
// whose memory is taken only as its pages are first touched; null when the
// system gives none.
void* ReserveLargeBuffer(std::size_t bytes);
// Gives back to the system what ReserveLargeBuffer(bytes) gave.
void ReleaseLargeBuffer(void* start, std::size_t bytes) noexcept;
// Maps the pages of `bytes` bytes at `start` in advance, where the system can
// (Linux 5.14 on); elsewhere, and for buffers too small to gain, nothing.
void PrefillLargeBuffer(void* start, std::size_t bytes) noexcept;

}  // namespace huffman
