// Case files for the public API: a driver that reads lines of calls and the
// results they must give, so a behaviour's cases are data (tests/*/cases/*.txt)
// rather than code.
//
// A case file holds cases; each starts with "== title" and gets fresh handles
// and a fresh temporary folder. Lines beginning with '#' are comments. A line is
//   [name =] call arg arg ... [=> result]
// where call is a public function without its "sg" prefix (MoveTo, SearchA...)
// or one of the driver's own (see Run below). A call name ending in '+' also
// gives where the cursor of its first argument then stands (see At); one
// ending in '#' gives the length and the distinct bytes of a text result.
// Arguments: 'quoted' text with the escapes \n \r \t \0 \\ \' \xHH (a byte)
// and \uHHHH (a UTF-16 unit, wide forms only), 'text'*N for N copies, 'a''b'
// for 'ab'; numbers (12, -1, 0x1F); constants without the SG_ prefix
// (MOVE_NEXT), joined by '|'; none (0xFFFFFFFF); $k (a number kept by `keep`);
// handle names; null; @name (a file in the case's folder, @ alone the
// folder); %rel (a file of the corpus).
// Results: numbers, none for 0xFFFFFFFF, 'text' with the same escapes (bytes
// of narrow text from 0x80 on as \xHH), string lists up to their closing
// zeros, null, and for a handle the name of the handle it equals, or ok. A
// call whose result is not given is run unchecked. SPRIG_RECORD=1 writes the
// results actually given into the files instead (for review before a commit).
#ifndef SPRIG_TESTS_SCRIPT_H
#define SPRIG_TESTS_SCRIPT_H

#include <string>

#include "support.h"

namespace sprig_script {

// Runs every case file of a folder (files ending in .txt, in name order),
// each case a GoogleTest failure scope of its own.
void RunCaseFolder(const std::string &folder);

}  // namespace sprig_script

#endif  // SPRIG_TESTS_SCRIPT_H
