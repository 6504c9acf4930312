// The structural checks a compressed file must pass before it is restored.
// The format has no checksum, so the checks are about shape: a whole
// dictionary whose records form one binary tree as the record walk needs it,
// then a payload that is not empty and whose last code ends in its last byte.
// Every file this program writes passes; so does a file of any encoder that
// pads with zero bits, except for a source of one repeated byte, whose file
// (N = 0) holds neither that byte nor the length.
#pragma once

#ifndef HUFFMAN_CODEC_INTERNAL
#error "codec/format_check.h is private to the codec: include <huffman/codec.h>"
#endif

#include <cstdint>
#include <vector>

#include "codec/format.h"
#include "huffman/codec.h"

namespace huffman {

struct FormatCheck {
  FormatFault fault = FormatFault::none;
  std::uint64_t offset = 0;  // the file offset where the fault was found
};

// Checks the dictionary read from a file, of which `bytes_read` bytes were
// available to ReadDictionary. An empty file (N = -1) passes.
FormatCheck CheckDictionary(const DictionaryTable& table, std::size_t bytes_read);

// Whether the dictionary (as read, checked or not) carries the mark of a
// checked file: its dead end names the label tree.h gives checked files.
bool CarriesCheckMark(const DictionaryTable& table);

// Byte values at leaves of a dictionary that passed CheckDictionary; the
// dead end is not one.
int CountLeaves(const DictionaryTable& table);

// Every leaf's byte value and code, root first, sorted by the code's bits as
// strings, of a dictionary that passed CheckDictionary.
std::vector<CodeEntry> ListCodes(const DictionaryTable& table);

}  // namespace huffman
