#include "platform/atomic_file.h"

#include <cerrno>
#include <streambuf>
#include <vector>

#include <windows.h>

#include "platform/errno_windows.h"
#include "platform/signals.h"
#include "platform/utf16_windows.h"

namespace huffman {
namespace {

// Attempts at a free temporary name before giving up; a clash needs a file
// left by another process with our process id.
constexpr int k_temp_name_attempts = 100;

// Writes of this size or more skip the buffer: the codec hands over whole
// blocks, which go to the file as they are.
constexpr std::size_t k_buffer_bytes = 64 * 1024;

// The most WriteFile takes in one call.
constexpr std::size_t k_max_write = 1u << 30;

// The part of `final_name` up to its last separator (either slash, or the
// colon of a drive), which puts another name beside it.
std::string DirectoryPrefix(const std::string& final_name) {
  const std::size_t separator = final_name.find_last_of("\\/:");
  return separator == std::string::npos ? std::string() : final_name.substr(0, separator + 1);
}

// A name unlike any the user is likely to type (those end in ".txt").
std::string TempName(const std::string& final_name, int attempt) {
  return DirectoryPrefix(final_name) + ".huffman-" + std::to_string(GetCurrentProcessId()) + "-" +
         std::to_string(attempt) + ".tmp";
}

}  // namespace

// Buffers small writes and passes large ones straight to the file; the first
// failure is latched with its errno, and every later write fails.
class AtomicFile::Buffer : public std::streambuf {
 public:
  explicit Buffer(HANDLE file) : file(file), space(k_buffer_bytes) {
    setp(space.data(), space.data() + space.size());
  }
  ~Buffer() override { Close(); }
  Buffer(const Buffer&) = delete;
  Buffer& operator=(const Buffer&) = delete;

  HANDLE File() const { return file; }
  int Error() const { return error; }

  // Writes out what is buffered; false once anything failed.
  bool Drain() {
    const char* begin = pbase();
    const std::size_t count = static_cast<std::size_t>(pptr() - begin);
    setp(space.data(), space.data() + space.size());
    return WriteAll(begin, count);
  }

  // Closes the handle; the errno if that failed, 0 otherwise or if closed.
  int Close() {
    if (file == INVALID_HANDLE_VALUE) return 0;
    const bool closed = CloseHandle(file) != 0;
    file = INVALID_HANDLE_VALUE;
    return closed ? 0 : ErrnoOf(GetLastError());
  }

 protected:
  int_type overflow(int_type ch) override {
    if (!Drain()) return traits_type::eof();
    if (!traits_type::eq_int_type(ch, traits_type::eof())) {
      *pptr() = traits_type::to_char_type(ch);
      pbump(1);
    }
    return traits_type::not_eof(ch);
  }

  std::streamsize xsputn(const char* data, std::streamsize count) override {
    if (static_cast<std::size_t>(count) < space.size()) return std::streambuf::xsputn(data, count);
    return Drain() && WriteAll(data, static_cast<std::size_t>(count)) ? count : 0;
  }

  int sync() override { return Drain() ? 0 : -1; }

 private:
  bool WriteAll(const char* data, std::size_t count) {
    while (error == 0 && count > 0) {
      DWORD written = 0;
      const DWORD asked = static_cast<DWORD>(count < k_max_write ? count : k_max_write);
      if (!WriteFile(file, data, asked, &written, nullptr)) {
        error = ErrnoOf(GetLastError());
        break;
      }
      if (written == 0) {
        error = EIO;
        break;
      }
      data += written;
      count -= written;
    }
    return error == 0;
  }

  HANDLE file;
  std::vector<char> space;
  int error = 0;
};

AtomicFile::AtomicFile(const std::string& final_name) : final_name(final_name), stream(nullptr) {
  HANDLE file = INVALID_HANDLE_VALUE;
  for (int attempt = 0; file == INVALID_HANDLE_VALUE && attempt < k_temp_name_attempts; ++attempt) {
    std::string name = TempName(final_name, attempt);
    // The event handler must be able to remove whatever is created.
    if (!GuardFile(name)) {
      error = ENAMETOOLONG;
      return;
    }
    // CREATE_NEW claims the name, so nothing that already exists is
    // overwritten. FILE_SHARE_DELETE lets the Ctrl-C handler remove the file
    // while this handle is still open.
    file = CreateFileW(WideFromUtf8(name).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                       CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      const DWORD failure = GetLastError();
      ReleaseFile();
      if (failure == ERROR_FILE_EXISTS || failure == ERROR_ALREADY_EXISTS) continue;
      error = ErrnoOf(failure);
      return;
    }
    temp_name = std::move(name);
  }
  if (file == INVALID_HANDLE_VALUE) {
    error = EEXIST;
    return;
  }
  buffer = std::make_unique<Buffer>(file);
  stream.rdbuf(buffer.get());
}

AtomicFile::~AtomicFile() {
  buffer.reset();
  if (committed || temp_name.empty()) return;
  DeleteFileW(WideFromUtf8(temp_name).c_str());
  ReleaseFile();
}

bool AtomicFile::IsOpen() const { return buffer != nullptr; }

int AtomicFile::Error() const {
  if (error != 0 || !buffer) return error;
  return buffer->Error();
}

int AtomicFile::Commit(bool durable) {
  if (committed) return 0;
  if (!buffer) return error != 0 ? error : EBADF;
  if (!buffer->Drain()) return buffer->Error();
  if (stream.bad()) return EIO;

  // The data reach the disk before they replace an existing file (whose old
  // content a crash would otherwise lose) or when `durable` is asked for,
  // and the move itself is then written through.
  const std::wstring final_wide = WideFromUtf8(final_name);
  const bool flushed = durable || GetFileAttributesW(final_wide.c_str()) != INVALID_FILE_ATTRIBUTES;
  if (flushed && !FlushFileBuffers(buffer->File())) return ErrnoOf(GetLastError());
  if (int close_error = buffer->Close()) return close_error;
  const DWORD flags = MOVEFILE_REPLACE_EXISTING | (flushed ? MOVEFILE_WRITE_THROUGH : 0);
  if (!MoveFileExW(WideFromUtf8(temp_name).c_str(), final_wide.c_str(), flags)) return ErrnoOf(GetLastError());
  ReleaseFile();
  committed = true;
  return 0;
}

}  // namespace huffman
