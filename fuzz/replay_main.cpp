// A main for the fuzz targets without libFuzzer: feeds every file named on
// the command line (or found in a directory named there) to the target once.
// The ordinary and sanitizer test builds use it to check the committed
// corpus, the inputs of past findings included, on every run.  A first
// argument --threads=N runs the codec on N threads.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

bool Replay(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  // Exactly the input's size, so that a read past its end is caught under
  // AddressSanitizer as it is under libFuzzer.
  const std::vector<std::uint8_t> input((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (!in) {
    std::fprintf(stderr, "cannot read %s\n", file.string().c_str());
    return false;
  }
  LLVMFuzzerTestOneInput(input.data(), input.size());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  int replayed = 0;
  int first = 1;
  const std::string threads_option = "--threads=";
  if (argc > 1 && std::string(argv[1]).starts_with(threads_option)) {
    huffman::fuzz::RequestedThreads() =
        static_cast<unsigned>(std::strtoul(argv[1] + threads_option.size(), nullptr, 10));
    first = 2;
  }
  for (int i = first; i < argc; ++i) {
    std::vector<std::filesystem::path> files;
    if (std::filesystem::is_directory(argv[i])) {
      for (const auto& entry : std::filesystem::directory_iterator(argv[i])) {
        if (entry.is_regular_file()) files.push_back(entry.path());
      }
    } else {
      files.emplace_back(argv[i]);
    }
    for (const auto& file : files) {
      if (!Replay(file)) return 1;
      ++replayed;
    }
  }
  std::printf("replayed %d inputs\n", replayed);
  return replayed > 0 ? 0 : 1;
}
