// An output that appears under its final name only when it is complete, and
// then all at once. It is written beside the final name (so putting it in
// place stays within one file system): on Linux, where the file system
// allows, as a file without any name (O_TMPFILE) that Commit links under the
// final name, so that not even a crash or SIGKILL can leave anything behind;
// elsewhere as a hidden temporary file that Commit renames, removed by the
// destructor on any failure and by the signal handler on an ending signal.
// An existing file of the final name is replaced only by a complete result,
// and gets what it carries over from its source before it appears.
#pragma once

#include <memory>
#include <ostream>
#include <string>

#include "platform/file_status.h"

namespace huffman {

class AtomicFile {
 public:
  // Creates the temporary output beside `final_name`; check IsOpen(). An
  // output that carries a source's attributes is created readable by its
  // owner only (the umask still applies), so that a private source's data
  // are never open to others before Carry gives the source's bits.
  explicit AtomicFile(const std::string& final_name, const SourceAttributes& source = {});
  ~AtomicFile();
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  bool IsOpen() const;
  // The errno of a failed creation or of the first write that failed, 0
  // otherwise.
  int Error() const;
  std::ostream& Stream() { return stream; }

  // Writes out what is buffered and gives the complete output the source's
  // attributes, before Commit puts it in place. 0, or the errno of the step
  // that failed; a failed write is left for Commit to report (Carry then
  // returns 0).
  int Carry();

  // Writes out what is buffered, checks the close, and puts the file in place
  // under the final name. The data are flushed to the disk first (fsync) when
  // the file replaces an existing one, whose old content a crash would
  // otherwise lose, or when `durable` is asked for; the directory is flushed
  // after such a flushed rename. A new name is not flushed: its source still
  // exists, and a crash loses nothing. Returns 0, or the errno of the step
  // that failed (nothing is then left but an existing file of the final name,
  // unless only the directory's flush failed).
  int Commit(bool durable = false);

 private:
  // The file's descriptor and the stream buffer over it
  // (atomic_file_buffer.h).
  class Buffer;

  // Writes out what is buffered; 0, or the errno of a failed creation or
  // write.
  int WriteOut();

  std::string final_name;
  SourceAttributes source;
  bool carried = false;   // Carry gave the open file its part; Commit gives the rest
  std::string temp_name;  // the hidden temporary file's name; empty for an unnamed file
  std::unique_ptr<Buffer> buffer;
  std::ostream stream;
  int error = 0;
  bool committed = false;
};

}  // namespace huffman
