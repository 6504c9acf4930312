// System calls that fail on request, preloaded (LD_PRELOAD) into the program
// under test by the end-to-end suites. HUFFMAN_FAULT=<what>[:<errno>], or
// several of them joined by commas, chooses them:
//   read      every read of a regular file opened read-only (the source), in
//             order or at an offset
//   write     every write of a regular file opened for writing (the output)
//   close     closing a regular file opened for writing: the file is closed,
//             then the call reports the error (a failed flush at commit)
//   create    opening with O_CREAT or O_TMPFILE (creating the output)
//   tmpfile   opening with O_TMPFILE only: with EOPNOTSUPP, as on a file
//             system without unnamed files, the output is a named
//             temporary file
//   commit    linkat and rename (putting the output in place)
//   shrink    the source ends early once it is read again from its start
//             (errno unused): a descriptor sought back to the start after a
//             read, or read at offset 0 a second time, reads nothing more
//             from then on, so the second pass is shorter
// Only regular files are touched, so the terminal and pipes work as usual.
#include <array>
#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

namespace {

enum class Fault { read, write, close, create, tmpfile, commit, shrink, count };

// Which faults were asked for, and the errno each one reports.
struct Request {
  std::array<bool, static_cast<std::size_t>(Fault::count)> asked{};
  std::array<int, static_cast<std::size_t>(Fault::count)> error{};
};

const Request& Requested() {
  static const Request request = [] {
    Request parsed;
    // Read once, before the program under test starts any thread.
    const char* text = std::getenv("HUFFMAN_FAULT");  // NOLINT(concurrency-mt-unsafe)
    if (text == nullptr) return parsed;
    constexpr std::array<std::pair<const char*, Fault>, 7> k_names = {{{"read", Fault::read},
                                                                       {"write", Fault::write},
                                                                       {"close", Fault::close},
                                                                       {"create", Fault::create},
                                                                       {"tmpfile", Fault::tmpfile},
                                                                       {"commit", Fault::commit},
                                                                       {"shrink", Fault::shrink}}};
    for (const char* item = text; *item != '\0';) {
      const char* end = std::strchr(item, ',');
      const std::size_t item_length = end == nullptr ? std::strlen(item) : static_cast<std::size_t>(end - item);
      for (const auto& [name, fault] : k_names) {
        const std::size_t length = std::strlen(name);
        if (item_length < length || std::strncmp(item, name, length) != 0) continue;
        if (item_length != length && item[length] != ':') continue;
        const auto index = static_cast<std::size_t>(fault);
        parsed.asked[index] = true;
        if (item_length != length) parsed.error[index] = static_cast<int>(std::strtol(item + length + 1, nullptr, 10));
      }
      item += item_length + (end == nullptr ? 0 : 1);
    }
    return parsed;
  }();
  return request;
}

bool Asked(Fault fault) { return Requested().asked[static_cast<std::size_t>(fault)]; }

// Fails the current call with the errno asked for `fault`.
int Refuse(Fault fault) {
  errno = Requested().error[static_cast<std::size_t>(fault)];
  return -1;
}

template <typename Fn>
Fn Next(const char* name) {
  return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
}

// Whether `fd` is a regular file opened read-only (`writing` false) or for
// writing (`writing` true).
bool RegularFile(int fd, bool writing) {
  struct stat info {};
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) return false;
  const int flags = fcntl(fd, F_GETFL);
  return flags >= 0 && ((flags & O_ACCMODE) != O_RDONLY) == writing;
}

bool Fails(Fault fault, int fd, bool writing) { return Asked(fault) && RegularFile(fd, writing); }

// For `shrink`, per descriptor: whether bytes were read, and whether it was
// then sought back to its start or read from there again (positional reads
// come from several threads at once).
constexpr int k_tracked_fds = 1024;
std::array<std::atomic<bool>, k_tracked_fds> read_some{};
std::array<std::atomic<bool>, k_tracked_fds> read_again{};

void NoteSeek(int fd, long long offset, int whence) {
  if (!Asked(Fault::shrink) || fd < 0 || fd >= k_tracked_fds) return;
  if (offset == 0 && whence == SEEK_SET && read_some[fd]) read_again[fd] = true;
}

bool Shrinks(int fd) { return Asked(Fault::shrink) && fd >= 0 && fd < k_tracked_fds && RegularFile(fd, false); }

// A positional read (pread or pread64, through `real`): failed for `read`,
// and shortened for `shrink` once offset 0 is read a second time.
template <typename Offset, typename Fn>
ssize_t PositionalRead(Fn real, int fd, void* buffer, size_t count, Offset offset) {
  if (Fails(Fault::read, fd, false)) return Refuse(Fault::read);
  if (Shrinks(fd)) {
    if (offset == 0 && read_some[fd].exchange(true)) read_again[fd] = true;
    if (read_again[fd]) return 0;
  }
  return real(fd, buffer, count, offset);
}

}  // namespace

extern "C" {

ssize_t read(int fd, void* buffer, size_t count) {
  static const auto real = Next<ssize_t (*)(int, void*, size_t)>("read");
  if (Fails(Fault::read, fd, false)) return Refuse(Fault::read);
  if (Shrinks(fd)) {
    if (read_again[fd]) return 0;
    const ssize_t got = real(fd, buffer, count);
    if (got > 0) read_some[fd] = true;
    return got;
  }
  return real(fd, buffer, count);
}

ssize_t pread(int fd, void* buffer, size_t count, off_t offset) {
  static const auto real = Next<ssize_t (*)(int, void*, size_t, off_t)>("pread");
  return PositionalRead(real, fd, buffer, count, offset);
}

ssize_t pread64(int fd, void* buffer, size_t count, off64_t offset) {
  static const auto real = Next<ssize_t (*)(int, void*, size_t, off64_t)>("pread64");
  return PositionalRead(real, fd, buffer, count, offset);
}

ssize_t write(int fd, const void* buffer, size_t count) {
  static const auto real = Next<ssize_t (*)(int, const void*, size_t)>("write");
  if (Fails(Fault::write, fd, true)) return Refuse(Fault::write);
  return real(fd, buffer, count);
}

ssize_t writev(int fd, const struct iovec* pieces, int count) {
  static const auto real = Next<ssize_t (*)(int, const struct iovec*, int)>("writev");
  if (Fails(Fault::write, fd, true)) return Refuse(Fault::write);
  return real(fd, pieces, count);
}

int close(int fd) {
  static const auto real = Next<int (*)(int)>("close");
  const bool fails = Fails(Fault::close, fd, true);
  const int status = real(fd);
  if (!fails) return status;
  return Refuse(Fault::close);
}

int fclose(FILE* file) {
  static const auto real = Next<int (*)(FILE*)>("fclose");
  const bool fails = Fails(Fault::close, fileno(file), true);
  const int status = real(file);
  if (!fails) return status;
  Refuse(Fault::close);
  return EOF;
}

off_t lseek(int fd, off_t offset, int whence) {
  static const auto real = Next<off_t (*)(int, off_t, int)>("lseek");
  NoteSeek(fd, offset, whence);
  return real(fd, offset, whence);
}

off64_t lseek64(int fd, off64_t offset, int whence) {
  static const auto real = Next<off64_t (*)(int, off64_t, int)>("lseek64");
  NoteSeek(fd, offset, whence);
  return real(fd, offset, whence);
}

}  // extern "C"

namespace {

// open and open64 (and openat) share this: the mode argument is read only
// when the flags say there is one.
template <typename Fn, typename... Leading>
int OpenChecked(Fn real, int flags, std::va_list& rest, Leading... leading) {
  mode_t mode = 0;
  const bool creates = (flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE;
  // Every caller has started `rest`. clang-tidy 14 checking several files in
  // one run stops recognising va_start after the first file, and reports the
  // va_arg here as reading a list never started.
  // NOLINTNEXTLINE(clang-analyzer-valist.Uninitialized)
  if (creates) mode = va_arg(rest, mode_t);
  if (creates && Asked(Fault::create)) return Refuse(Fault::create);
  if ((flags & O_TMPFILE) == O_TMPFILE && Asked(Fault::tmpfile)) return Refuse(Fault::tmpfile);
  return real(leading..., flags, mode);
}

}  // namespace

extern "C" {

int open(const char* path, int flags, ...) {
  static const auto real = Next<int (*)(const char*, int, ...)>("open");
  std::va_list rest;
  va_start(rest, flags);
  const int fd = OpenChecked(real, flags, rest, path);
  va_end(rest);
  return fd;
}

int open64(const char* path, int flags, ...) {
  static const auto real = Next<int (*)(const char*, int, ...)>("open64");
  std::va_list rest;
  va_start(rest, flags);
  const int fd = OpenChecked(real, flags, rest, path);
  va_end(rest);
  return fd;
}

int openat(int dir_fd, const char* path, int flags, ...) {
  static const auto real = Next<int (*)(int, const char*, int, ...)>("openat");
  std::va_list rest;
  va_start(rest, flags);
  const int fd = OpenChecked(real, flags, rest, dir_fd, path);
  va_end(rest);
  return fd;
}

// Putting the output in place: linking an unnamed file, or renaming a named
// one over the final name.
int linkat(int from_dir, const char* from, int to_dir, const char* to, int flags) {
  static const auto real = Next<int (*)(int, const char*, int, const char*, int)>("linkat");
  if (Asked(Fault::commit)) return Refuse(Fault::commit);
  return real(from_dir, from, to_dir, to, flags);
}

int rename(const char* from, const char* to) {
  static const auto real = Next<int (*)(const char*, const char*)>("rename");
  if (Asked(Fault::commit)) return Refuse(Fault::commit);
  return real(from, to);
}

int renameat(int from_dir, const char* from, int to_dir, const char* to) {
  static const auto real = Next<int (*)(int, const char*, int, const char*)>("renameat");
  if (Asked(Fault::commit)) return Refuse(Fault::commit);
  return real(from_dir, from, to_dir, to);
}

}  // extern "C"
