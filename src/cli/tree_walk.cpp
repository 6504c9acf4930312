#include "cli/tree_walk.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <system_error>
#include <utility>
#include <vector>

#include "cli/messages.h"
#include "platform/file_name.h"

namespace huffman::cli {
namespace {

namespace fs = std::filesystem;

enum class EntryKind { file, directory, link, other };

struct Entry {
  std::string name;  // UTF-8, the entry's own name
  EntryKind kind = EntryKind::other;
};

// The errno behind a std::filesystem error, for the message's reason.
int ErrnoOf(const std::error_code& error) {
  const std::error_condition condition = error.default_error_condition();
  return condition.category() == std::generic_category() ? condition.value() : EIO;
}

// A directory's entries sorted by name, each classified without following
// links; false (reported) when the directory cannot be read.
bool ListDirectory(const std::string& directory, std::vector<Entry>& entries) {
  std::error_code error;
  fs::directory_iterator it(PathOf(directory), error);
  for (; !error && it != fs::directory_iterator(); it.increment(error)) {
    Entry entry;
    entry.name = NameOf(it->path().filename());
    std::error_code status_error;
    switch (it->symlink_status(status_error).type()) {
      case fs::file_type::regular:
        entry.kind = EntryKind::file;
        break;
      case fs::file_type::directory:
        entry.kind = EntryKind::directory;
        break;
      case fs::file_type::symlink:
        entry.kind = EntryKind::link;
        break;
      case fs::file_type::not_found:
        continue;  // gone since it was listed
      default:
        entry.kind = EntryKind::other;
        break;
    }
    entries.push_back(std::move(entry));
  }
  if (error) {
    ReportSystemError(directory, "cannot read the directory", ErrnoOf(error));
    return false;
  }
  std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.name < b.name; });
  return true;
}

// Why a file of the tree is not taken, or nothing when it is.
std::string SkipReason(const Preferences& preferences, const std::string& name) {
  const std::string& suffix = preferences.suffix;
  const bool carries_suffix = name.ends_with(suffix);
  if (preferences.operation == Operation::compress) {
    return carries_suffix ? "already has the " + ShownName(suffix) + " suffix" : std::string();
  }
  return carries_suffix && name.size() > suffix.size() ? std::string() : "no " + ShownName(suffix) + " suffix";
}

// One directory being walked: its sorted entries and the next one to take.
struct Level {
  std::string path;
  std::vector<Entry> entries;
  std::size_t next = 0;
};

}  // namespace

bool ProcessTree(const Preferences& preferences, const std::string& directory,
                 const std::function<bool(const std::string&)>& process) {
  const bool verbose = preferences.verbosity == Verbosity::verbose;
  auto note = [verbose](const std::string& name, const std::string& reason) {
    if (verbose) ReportLine(ShownName(name) + ": skipped, " + reason);
  };
  bool all_succeeded = true;
  // A stack of open directories rather than recursion: a deep tree needs no
  // deep call stack. Each directory is listed whole before its first file is
  // processed, so the outputs written into it are not met as entries.
  std::vector<Level> open;
  auto enter = [&](const std::string& path) {
    Level level;
    level.path = path;
    if (ListDirectory(path, level.entries)) {
      open.push_back(std::move(level));
    } else {
      all_succeeded = false;
    }
  };
  enter(directory);
  while (!open.empty()) {
    Level& level = open.back();
    if (level.next == level.entries.size()) {
      open.pop_back();
      continue;
    }
    const Entry& entry = level.entries[level.next++];
    // Joined by the system's separator, and only one where the operand ends
    // in one ("docs/" gives "docs/notes").
    const std::string path = NameOf(PathOf(level.path) / PathOf(entry.name));
    switch (entry.kind) {
      case EntryKind::directory:
        enter(path);  // may grow `open`: `level` and `entry` are not used after
        break;
      case EntryKind::link:
        note(path, "a symbolic link");
        break;
      case EntryKind::other:
        note(path, "not a regular file");
        break;
      case EntryKind::file:
        if (std::string reason = SkipReason(preferences, entry.name); !reason.empty()) {
          note(path, reason);
        } else {
          all_succeeded &= process(path);
        }
        break;
    }
  }
  return all_succeeded;
}

}  // namespace huffman::cli
