#include "platform/system_errors.h"

#include <cerrno>

namespace huffman {

bool IsOutOfSpace(int error) { return error == ENOSPC || error == EDQUOT; }

bool IsBrokenPipe(int error) { return error == EPIPE; }

}  // namespace huffman
