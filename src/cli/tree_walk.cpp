#include "cli/tree_walk.h"

#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

#include "cli/messages.h"
#include "platform/directory_listing.h"
#include "platform/file_name.h"

namespace huffman::cli {
namespace {

// A directory's entries sorted by name; false (reported) when the directory
// cannot be read.
bool ListSorted(const std::string& directory, std::vector<DirectoryEntry>& entries) {
  if (int error = ListDirectory(directory, entries)) {
    ReportSystemError(directory, "cannot read the directory", error);
    return false;
  }
  std::sort(entries.begin(), entries.end(),
            [](const DirectoryEntry& a, const DirectoryEntry& b) { return a.name < b.name; });
  return true;
}

// Why a file of the tree is not taken, or nothing when it is.
std::string SkipReason(const Preferences& preferences, const std::string& name) {
  const std::string& suffix = preferences.suffix;
  const std::optional<std::size_t> stem = StemLength(name, suffix);
  if (preferences.operation == Operation::compress) {
    return stem ? "already has the " + ShownName(suffix) + " suffix" : std::string();
  }
  return stem && *stem > 0 ? std::string() : "no " + ShownName(suffix) + " suffix";
}

// One directory being walked: its sorted entries and the next one to take.
struct Level {
  std::string path;
  std::vector<DirectoryEntry> entries;
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
    if (ListSorted(path, level.entries)) {
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
    const DirectoryEntry& entry = level.entries[level.next++];
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
