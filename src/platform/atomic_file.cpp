#include "platform/atomic_file.h"

#include <cerrno>

#include "platform/atomic_file_buffer.h"

namespace huffman {

bool AtomicFile::IsOpen() const { return buffer != nullptr; }

int AtomicFile::Error() const {
  if (error != 0 || !buffer) return error;
  return buffer->Error();
}

int AtomicFile::WriteOut() {
  if (!buffer) return error != 0 ? error : EBADF;
  if (!buffer->Drain()) return buffer->Error() != 0 ? buffer->Error() : EIO;
  if (stream.bad()) return EIO;
  return 0;
}

int AtomicFile::Carry() {
  if (!source.Carries() || carried) return 0;
  if (WriteOut() != 0) return 0;
  if (int apply_error = source.ApplyToOpen(buffer->Fd())) return apply_error;
  carried = true;
  return 0;
}

}  // namespace huffman
