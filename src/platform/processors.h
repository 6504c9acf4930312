// How many processors this process may run on: the codec's default thread
// count, and whether its waiting threads may watch (a thread that watches
// holds a processor).
#pragma once

namespace huffman {

// The processors of this process's CPU affinity where the system tells it,
// else the machine's hardware threads; at least 1.
unsigned AvailableProcessors();

}  // namespace huffman
