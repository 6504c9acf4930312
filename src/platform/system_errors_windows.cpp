#include "platform/system_errors.h"

#include <cerrno>

namespace huffman {

// The C runtime reports a full disk and an exceeded quota alike as ENOSPC.
bool IsOutOfSpace(int error) { return error == ENOSPC; }

}  // namespace huffman
