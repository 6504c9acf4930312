#include "cli/stdin_spool.h"

#include <cstdint>
#include <span>
#include <string>

#include "platform/spill_file.h"

namespace huffman::cli {
namespace {

// Inputs up to this size are compressed from memory; larger ones spill.
constexpr std::size_t k_memory_bound = 4 * 1024 * 1024;

// Fills `buffer` from `input`; the bytes read.
std::size_t ReadInto(FdInputStream& input, std::string& buffer) {
  input.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
  return static_cast<std::size_t>(input.gcount());
}

}  // namespace

SpooledCompression CompressInOrder(Codec& codec, FdInputStream& input, int fd, bool rereadable,
                                   std::ostream& compressed, const ProgressFn& progress,
                                   const CompressOptions& options) {
  SpooledCompression spooled;
  // A file redirected to standard input is read twice in place, as a named
  // file is.
  if (rereadable) {
    StreamSource source(input);
    spooled.result = codec.Compress(source, compressed, progress, options);
    if (input.Error() != 0) spooled.read_error = input.Error();
    return spooled;
  }
  std::string buffer(k_memory_bound, '\0');
  std::size_t held = ReadInto(input, buffer);
  if (input.Error() != 0) {
    spooled.read_error = input.Error();
    return spooled;
  }
  if (held < buffer.size()) {
    MemorySource source({reinterpret_cast<const std::uint8_t*>(buffer.data()), held});
    spooled.result = codec.Compress(source, compressed, progress, options);
    return spooled;
  }

  SpillFile spill;
  spooled.spill_directory = spill.Directory();
  if (!spill.IsOpen()) {
    spooled.spill_error = spill.Error();
    return spooled;
  }
  if (!spill.Append({buffer.data(), held})) {
    spooled.spill_error = spill.Error();
    return spooled;
  }
  // The memory goes back before the rest is moved and the codec takes its own.
  std::string().swap(buffer);
  bool read_failed = false;
  if (int error = spill.AppendFrom(fd, read_failed)) {
    (read_failed ? spooled.read_error : spooled.spill_error) = error;
    return spooled;
  }
  StreamSource source(spill.Reader());
  spooled.result = codec.Compress(source, compressed, progress, options);
  return spooled;
}

}  // namespace huffman::cli
