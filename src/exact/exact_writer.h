// The format-preserving writer: the bytes of a document opened by the
// editing layer, with every unedited piece as read and every edited piece
// written by the core's markup rules in the target encoding.
#ifndef SPRIG_EXACT_EXACT_WRITER_H
#define SPRIG_EXACT_EXACT_WRITER_H

#include <stdint.h>

#include <string>

#include "exact/exact_document.h"

struct RenderProblem {
  int code;        // SX_ERR_LOSSY or SX_ERR_ENCODING
  int32_t unit;    // text position of the piece that failed, -1 when none
};

// Appends to `out` the document in `codePage` (its own when equal to the
// document's). Every piece that is not copied byte for byte is checked to
// encode without loss; a lossy piece fails the render unless `force`.
bool ExactRender(Document *document, ExactDocument *x, uint32_t codePage, bool force,
                 std::string *out, RenderProblem *problem);

#endif
