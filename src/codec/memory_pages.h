// Fresh memory faults in a page at a time on first touch, and each fault
// costs microseconds (on a virtual machine, tens of them): for a buffer of
// megabytes that the coding is sure to fill, more than filling it.  Asking
// the system to map its pages in one call costs a fraction of that.
#pragma once

#include <cstddef>

namespace huffman {

// Maps the pages of `bytes` bytes at `start` in advance, where the system
// can (Linux 5.14 on); elsewhere, and for buffers too small to gain, nothing.
void PrefaultPages(void* start, std::size_t bytes);

}  // namespace huffman
