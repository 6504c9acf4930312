// The system's error numbers that differ between systems, asked by meaning,
// so the failure lines name the reason in the same words everywhere.
#pragma once

namespace huffman {

// Whether `error` (an errno) says the disk is full or the user's quota on it
// is used up.
bool IsOutOfSpace(int error);

}  // namespace huffman
