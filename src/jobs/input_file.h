// The input of one file job, opened once, and the codec's Source: standard
// input, or a named file examined once (its kind, size and attributes from
// one look) and opened once. A regular file is read at offsets (on every
// core) and in order through that one handle; any other named input is
// opened only when the mode asks for it to be read in order (its open may
// wait for a writer), and a device only so.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "huffman/codec.h"
#include "jobs/job_failure.h"
#include "platform/fd_stream.h"
#include "platform/file_status.h"
#include "platform/positional_file.h"

namespace huffman::jobs {

class InputFile final : public Source {
 public:
  // Standard input, open already.
  InputFile();
  // The file `name` leads to, examined for an output that gets `times`;
  // nothing is opened yet.
  InputFile(std::string name, OutputTimes times);
  ~InputFile() override;
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  // The name; empty for standard input.
  const std::string& Name() const { return name; }
  // Its kind, or why it could not be examined; standard input is not
  // examined.
  const FileStatus& Status() const { return examined.status; }
  const SourceAttributes& Attributes() const { return examined.attributes; }

  // Opens a regular file, once; the failure (its kind, or the open's errno)
  // for anything else. Standard input is open already.
  std::optional<JobFailure> Open();
  // Opens a named input of any kind to be read once, in order (a pipe, a
  // descriptor named as a file).
  std::optional<JobFailure> OpenInOrder();

  // The Source, once open: in order from the start (from the bytes put back
  // first, if any), and at offsets for a regular file. A regular file's
  // size is the one it had when examined, right before it was opened; an
  // input read in order tells its size where it can seek (a file on
  // standard input).
  std::int64_t Read(std::span<std::uint8_t> into, int& error) override;
  bool Rewind(int& error) override;
  std::optional<std::uint64_t> Size() const override;
  bool ReadsAtOffsets() const override { return file.has_value(); }
  std::int64_t ReadAt(std::uint64_t offset, std::span<std::uint8_t> into, int& error) const override;

  // The bytes `start`, already read from the input, are read from it again
  // first, then what follows them.
  void PutBack(std::string start);

  // What reads an input in order through its descriptor (the command line's
  // spool): an input opened by OpenInOrder(), or standard input.
  FdInputStream& DescriptorStream();
  int Descriptor() const;

  // Closes a named input now (Windows removes no file that is open).
  void Close();

 private:
  // Notes where an input read in order stands and how much follows, where
  // it can seek, so that Rewind and Size work as for a file.
  void MeasureInOrder();

  bool standard = false;
  std::string name;
  Examined examined;
  std::optional<PositionalFile> file;
  std::uint64_t position = 0;  // of the next byte Read takes from a regular file
  int fd = -1;                 // a named input opened by OpenInOrder()
  std::unique_ptr<FdInputStream> fd_stream;
  std::optional<std::int64_t> in_order_start;  // where it stood, when it can seek
  std::optional<std::uint64_t> in_order_size;
  int pending_error = 0;  // a read in order failed after some bytes came: the next Read fails
  std::string put_back;
  std::size_t put_back_taken = 0;
};

}  // namespace huffman::jobs
