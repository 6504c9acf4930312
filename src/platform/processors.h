// How many processors this process may run on: the codec's default thread
// count, and whether its waiting threads may watch (a thread that watches
// holds a processor); and where a helper thread starts.
#pragma once

#include <thread>

namespace huffman {

// The processors of this process's CPU affinity where the system tells it,
// else the machine's hardware threads; at least 1.
unsigned AvailableProcessors();

// Moves `thread`, just started, to another processor it may run on than
// the calling thread's, and leaves it free to run on any of them after.
// A new thread may be queued on the processor of the thread that started
// it, behind that thread, for milliseconds while another processor stands
// idle; moved once, it is woken where it last ran while that processor is
// free.  Nothing happens where the system offers no such move (Windows
// gives each new thread a processor of its own to prefer) or the thread
// may run nowhere else.
void MoveOffThisProcessor(std::thread& thread);

}  // namespace huffman
