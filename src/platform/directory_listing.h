// A directory's entries, each with its kind as the entry itself has it:
// a symbolic link is a link, whatever it leads to (on Windows, a symbolic
// link or a junction), so that a walk of a tree (the command line's -r)
// never leaves the tree through one.
#pragma once

#include <string>
#include <vector>

namespace huffman {

enum class EntryKind { file, directory, link, other };

struct DirectoryEntry {
  std::string name;  // UTF-8, the entry's own name ("." and ".." left out)
  EntryKind kind = EntryKind::other;
};

// Appends the entries of `directory` to `entries`, in the system's order.
// 0 or the errno of the failure (the entries read before it are kept).
int ListDirectory(const std::string& directory, std::vector<DirectoryEntry>& entries);

}  // namespace huffman
