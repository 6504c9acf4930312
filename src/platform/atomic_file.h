// An output that appears under its final name only when it is complete. It is
// written to a temporary file in the working directory (so the final rename
// stays within one file system), and Commit renames it over the final name.
// Until then the temporary file is removed by the destructor on any failure,
// and by the signal handler if the program is killed, so neither a partial
// file nor a temporary one is ever left, and an existing file of the final
// name is replaced only by a complete result.
#pragma once

#include <fstream>
#include <memory>
#include <ostream>
#include <string>

namespace huffman {

class AtomicFile {
 public:
  // Creates the temporary file; check IsOpen().
  AtomicFile();
  ~AtomicFile();
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  bool IsOpen() const { return buffer_ != nullptr && buffer_->is_open(); }
  // The errno of a failed creation, 0 otherwise.
  int Error() const { return error_; }
  std::ostream& Stream() { return stream_; }

  // Closes the stream, checking that every byte reached the file, and renames
  // the temporary file to `final_name`. Returns 0, or the errno of the step
  // that failed (the temporary file is then removed by the destructor).
  int Commit(const std::string& final_name);

 private:
  std::string temp_name_;
  // The temporary file's buffer, opened by each system in its own way (on
  // Windows so that the file can be removed while open).
  std::unique_ptr<std::filebuf> buffer_;
  std::ostream stream_{nullptr};
  int error_ = 0;
  bool committed_ = false;
};

}  // namespace huffman
