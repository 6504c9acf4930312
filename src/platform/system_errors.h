// The system's error numbers that differ between systems, asked by meaning,
// so the failure lines name the reason in the same words everywhere.
#pragma once

namespace huffman {

// Whether `error` (an errno) says the disk is full or the user's quota on it
// is used up.
bool IsOutOfSpace(int error);

// Whether `error` (an errno from a write) says the reader of a pipe has gone:
// the end of the reader, not a fault of the data.
bool IsBrokenPipe(int error);

}  // namespace huffman
