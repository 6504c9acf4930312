// The input of one file job, opened once: standard input, or a named file
// examined once (its kind, size and attributes from one look) and opened
// once. A regular file is read at offsets (on every core) and in order
// through that one handle; any other named input is opened only when the
// mode asks for it to be read in order (its open may wait for a writer),
// and a device only so.
#pragma once

#include <cstdint>
#include <istream>
#include <memory>
#include <optional>
#include <string>

#include "codec/operations.h"
#include "jobs/job_failure.h"
#include "platform/fd_stream.h"
#include "platform/file_status.h"
#include "platform/positional_file.h"

namespace huffman::jobs {

class InputFile {
 public:
  // Standard input, open already.
  InputFile();
  // The file `name` leads to, examined for an output that gets `times`;
  // nothing is opened yet.
  InputFile(std::string name, OutputTimes times);
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  bool IsStandardInput() const { return standard; }
  const std::string& Name() const { return name; }
  // Its kind, or why it could not be examined; standard input is not
  // examined.
  const FileStatus& Status() const { return examined.status; }
  // The size it had when examined, for the progress.
  std::uint64_t SizeExamined() const { return examined.size; }
  const SourceAttributes& Attributes() const { return examined.attributes; }

  // Opens a regular file, once; the failure (its kind, or the open's errno)
  // for anything else. Standard input is open already.
  std::optional<JobFailure> Open();
  // Opens a named input of any kind to be read once, in order (a pipe, a
  // descriptor named as a file).
  std::optional<JobFailure> OpenInOrder();

  // True for a regular file opened by Open().
  bool ReadsAtOffsets() const { return file.has_value(); }
  // Reads at offsets, for the codec; empty unless ReadsAtOffsets().
  ReadAtFn Reader() const;
  // The size the open file has now; 0 unless ReadsAtOffsets().
  std::uint64_t Size() const;

  // The input in order from where it stands.
  std::istream& Stream() { return *in_order; }
  // The bytes `start`, already read from Stream(), are read from it again,
  // then what follows them.
  void PutBack(std::string start);
  // The errno of a failed read through Stream(), 0 if none failed: a read
  // error looks like the end to the stream itself.
  int ReadError() const;

  // What reads an input in order through its descriptor (the command line's
  // spool): an input opened by OpenInOrder(), or standard input.
  FdInputStream& DescriptorStream();
  int Descriptor() const;

  // Closes a named input now (Windows removes no file that is open).
  void Close();

 private:
  class OffsetBuffer;    // in order over reads at offsets
  class RejoinedBuffer;  // the bytes put back, then the rest

  bool standard = false;
  std::string name;
  Examined examined;
  std::optional<PositionalFile> file;
  std::unique_ptr<OffsetBuffer> offset_buffer;
  int fd = -1;  // a named input opened by OpenInOrder()
  std::unique_ptr<FdInputStream> fd_stream;
  std::string put_back;
  std::unique_ptr<RejoinedBuffer> rejoined;
  std::istream rejoined_stream{nullptr};
  std::istream offset_stream{nullptr};
  std::istream* in_order = nullptr;
};

}  // namespace huffman::jobs
