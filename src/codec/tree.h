// The code tree and its plan: ordering, repeated merge passes over the
// ordered symbol list that fill the node record table, renumbering that
// turns the ids (weights until then) into one-byte labels, and where a file
// needs it a dead-end record under the lightest leaf so that padding bits can
// never complete a code; then each value's code and the padding.
#pragma once

#ifndef HUFFMAN_CODEC_INTERNAL
#error "codec/tree.h is private to the codec: include <huffman/codec.h>"
#endif

#include "codec/census.h"
#include "codec/code_table.h"
#include "codec/format.h"

namespace huffman {

// Joins the two lightest entries per pass, `count_chars` passes, the last of
// which makes the extra record.  Consumes the list's weights, which must be
// in order (as OrderSymbols leaves them).
void BuildTree(SymbolList& chars_List, int count_chars, RecordTable& table);

// Rewrites every own id and inner-child reference to its rank among the ids,
// so that record k gets label k and the extra record shares the root's.
void Renumber(RecordTable& table, int count_chars);

// Adds a new record 0 whose 0-side is the lightest leaf and whose 1-side is a
// dead end (an inner child with label 255, which no record carries).  Every
// other record moves up by one, labels included.  With a single byte value
// the result is that one record, the leaf on its 0-side.
void AddDeadEndRecord(RecordTable& table);

// The value the dead end names in a checked file: a label no record carries
// where N is at most 254.  With N = 255 (255 byte values) only 255 is such a
// label, and the dead end names it as in a bare file; a bare file never has
// 255 records and a dead end, since with 129 values or more some padding
// always completes no code.  Any decoder's walk stops in the dead end
// whichever label it names: record 0 has no record below it.
inline constexpr std::uint64_t k_checked_dead_end_label = 254;

// Everything the encoder needs before the second pass over the source: the
// renumbered tree (with the dead-end record where needed), the code of every
// value, and the padding of the last byte; for a checked file, the path
// into the dead end in place of the padding.
struct TreePlan {
  RecordTable table;
  CodeTable codes{};
  Padding padding;
  Code dead_end;  // checked files only: the lightest leaf's code, its last bit 1
};
// `checked`: the dead-end record always, its dead end marked
// (k_checked_dead_end_label).  The census must hold 1 to 255 byte values.
TreePlan PlanTree(const Census& census, bool checked = false);

}  // namespace huffman
