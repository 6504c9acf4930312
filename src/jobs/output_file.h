// Where one file job writes: a named file, written beside its final name and
// put in place only when it is complete (platform/atomic_file), with what it
// carries over from its input; or standard output. Finish gives the file its
// input's attributes and puts it in place, and each failure comes back as a
// value naming the output.
#pragma once

#include <optional>
#include <ostream>
#include <string>

#include "jobs/job_failure.h"
#include "platform/atomic_file.h"
#include "platform/file_status.h"

namespace huffman::jobs {

// How a complete output is put in place.
struct Placing {
  // Flushed to the disk first, as when it is to stand for an input that
  // will be removed.
  bool durable = false;
  // An output that cannot take its input's attributes is put in place all
  // the same, private, and the failure still returned; otherwise it is not
  // put in place.
  bool private_without_attributes = false;
};

class OutputFile {
 public:
  // Standard output.
  OutputFile() = default;
  // The file `name`, not created yet.
  explicit OutputFile(std::string name);

  // The name; empty for standard output.
  const std::string& Name() const { return name; }

  // Creates a named output, once, to get `carried` when it is finished (a
  // file from a private input is private until then). Standard output is
  // open already.
  std::optional<JobFailure> Create(const SourceAttributes& carried);
  // What is written to the output; a named one once created.
  std::ostream& Stream();
  // Writes out what is buffered and puts the output in place; for standard
  // output, flushes it. A failure names the step; an output not put in place
  // is discarded when this object goes.
  std::optional<JobFailure> Finish(const Placing& placing);

 private:
  bool named = false;
  std::string name;
  std::optional<AtomicFile> file;
};

}  // namespace huffman::jobs
