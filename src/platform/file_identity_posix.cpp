#include "platform/file_identity.h"

#include <sys/stat.h>

namespace huffman {

// One file is one device and inode pair, whatever names lead to it.
bool SameFile(const std::string& first, const std::string& second) {
  struct stat first_info {};
  struct stat second_info {};
  return stat(first.c_str(), &first_info) == 0 && stat(second.c_str(), &second_info) == 0 &&
         first_info.st_dev == second_info.st_dev && first_info.st_ino == second_info.st_ino;
}

}  // namespace huffman
