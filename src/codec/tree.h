// The code tree and its plan: ordering, repeated merge passes over the
// ordered symbol list that fill the node record table, renumbering that
// turns the ids (weights until then) into one-byte labels, and where a file
// needs it a dead-end record under the lightest leaf so that padding bits can
// never complete a code; then each value's code and the padding.
#pragma once

#include "codec/census.h"
#include "codec/code_table.h"
#include "codec/format.h"

namespace huffman {

// Joins the two lightest entries per pass, `count_chars` passes, the last of
// which makes the extra record.  Consumes the list's weights.
void BuildTree(SymbolList& chars_List, int count_chars, RecordTable& table);

// Rewrites every own id and inner-child reference to its rank among the ids,
// so that record k gets label k and the extra record shares the root's.
void Renumber(RecordTable& table, int count_chars);

// Adds a new record 0 whose 0-side is the lightest leaf and whose 1-side is a
// dead end (an inner child with label 255, which no record carries).  Every
// other record moves up by one, labels included.  With a single byte value
// the result is that one record, the leaf on its 0-side.
void AddDeadEndRecord(RecordTable& table);

// Everything the encoder needs before the second pass over the source: the
// renumbered tree (with the dead-end record where needed), the code of every
// value, and the padding of the last byte.
struct TreePlan {
  RecordTable table;
  CodeTable codes{};
  Padding padding;
};
TreePlan PlanTree(const Census& census);

}  // namespace huffman
