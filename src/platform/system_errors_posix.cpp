#include "platform/system_errors.h"

#include <cerrno>

namespace huffman {

bool IsOutOfSpace(int error) { return error == ENOSPC || error == EDQUOT; }

}  // namespace huffman
