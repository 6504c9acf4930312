// An output that appears under its final name only when it is complete. It is
// written to a temporary file beside the final name (same directory, so the
// final rename stays within one file system), and Commit renames it over the
// final name. Until then the temporary file is removed by the destructor on
// any failure, and by the signal handler if the program is killed, so neither
// a partial file nor a temporary one is ever left, and an existing file of the
// final name is replaced only by a complete result.
#pragma once

#include <fstream>
#include <string>

namespace huffman {

class AtomicFile {
 public:
  // Creates the temporary file beside `final_name`; check IsOpen().
  explicit AtomicFile(const std::string& final_name);
  ~AtomicFile();
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  bool IsOpen() const { return stream_.is_open(); }
  // The errno of a failed creation, 0 otherwise.
  int Error() const { return error_; }
  std::ostream& Stream() { return stream_; }

  // Closes the stream, checking that every byte reached the file, and renames
  // the temporary file to the final name. The data is flushed to disk (fsync)
  // first when it replaces an existing file or when `durable` is asked for,
  // and the directory after such a rename. Returns 0, or the errno of the
  // step that failed (the temporary file is then removed by the destructor).
  int Commit(bool durable = false);

 private:
  std::string final_name_;
  std::string temp_name_;
  std::ofstream stream_;
  int error_ = 0;
  bool committed_ = false;
};

}  // namespace huffman
