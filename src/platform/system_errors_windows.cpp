#include "platform/system_errors.h"

#include <cerrno>
#include <cstdlib>

#include "platform/errno_windows.h"

namespace huffman {

// The C runtime reports a full disk and an exceeded quota alike as ENOSPC.
bool IsOutOfSpace(int error) { return error == ENOSPC; }

// The C runtime names ERROR_BROKEN_PIPE EPIPE, but ERROR_NO_DATA (the pipe
// is being closed; Windows' own pipes) and ERROR_PIPE_NOT_CONNECTED (Wine's)
// EINVAL; the system's code it keeps in _doserrno tells them apart from a
// true EINVAL. WriteFd gives EPIPE for all three.
bool IsBrokenPipe(int error) {
  if (error == EPIPE) return true;
  const unsigned long system_error = _doserrno;
  return error == EINVAL && (system_error == ERROR_BROKEN_PIPE || system_error == ERROR_NO_DATA ||
                             system_error == ERROR_PIPE_NOT_CONNECTED);
}

int ErrnoOf(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
      return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return EACCES;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return EEXIST;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    case ERROR_FILENAME_EXCED_RANGE:
      return ENAMETOOLONG;
    case ERROR_WRITE_PROTECT:
      return EROFS;
    case ERROR_BROKEN_PIPE:
    case ERROR_NO_DATA:
    case ERROR_PIPE_NOT_CONNECTED:
      return EPIPE;
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
      return EINVAL;
    default:
      return EIO;
  }
}

}  // namespace huffman
