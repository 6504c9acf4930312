// Compiled only by the test codec_headers_are_private, with the command
// line's settings: it includes one of the codec's own headers, which must
// refuse it, so that src/cli, src/console and src/main.cpp know the codec
// through include/huffman/codec.h alone.
#include "codec/decoder.h"
