// The tree builder: turns the tags and texts the lexer reads into the Node
// tree of a Document, and the parse loop that runs it (with the XML
// declaration rule, the meta content-type rule and at most one restart).
// Every Node it makes is linked into the document's tree before anything
// else can fail, so the document owns (and frees) whatever was built.
#ifndef SPRIG_PARSE_TREE_BUILDER_H
#define SPRIG_PARSE_TREE_BUILDER_H

#include "model/document.h"
#include "model/node.h"
#include "parse/source_text.h"

// Results of BuildNode.
enum {
  SG_BUILD_RESTART = -1,  // the code page changed and the text was decoded again
  SG_BUILD_END = 0,       // nothing more can be read at this level
  SG_BUILD_OK = 1,        // a Node was read and linked, or an end tag met (*pending none)
  SG_BUILD_SIBLING = 2,   // *pending holds an unlinked Node that closes the open element
};

// Reads one tag into the ring of list head `head`, with everything it
// encloses and the text behind it. On entry *pending is the open element
// whose content this level reads (null at the top level); on return it is
// the Node just read (OK), null (OK after an end tag) or the closing Node
// (SIBLING, owned by the caller). After END or RESTART *pending is not
// meaningful and holds no unlinked Node. Open elements are kept through the
// tree's own links, not the machine stack, so nesting depth costs no stack.
// Failed allocations set *outOfMemory.
int BuildNode(Node *head, SourceText *source, Node **pending, bool *outOfMemory);

// Builds the document's tree from `source`: empties the top-level ring,
// resets the tag counter, takes the code page as the document's encoding and
// reads top-level nodes until the text ends (starting over once if the code
// page changes). 1 finished; 0 memory ran out, in which case the tree keeps
// what was built and belongs to the document as usual.
int ParseDocument(Document *document, SourceText *source);

#endif
