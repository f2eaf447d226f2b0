// Outer XML: the shared markup rules with a GrowableString as the sink. The
// string is local to one call and freed on every path; only the final copy
// (or its conversion) leaves as the caller's block.
#include "output/outer_xml.h"

#include <limits.h>
#include <string.h>

#include "model/document.h"
#include "model/node.h"
#include "output/indent.h"
#include "output/markup.h"
#include "text/text.h"

namespace {

// A GrowableString as a sink of the shared markup rules. Literals are ASCII,
// so each byte is one UTF-16 unit.
struct StringSink {
  GrowableString *string;
  void Mark(MarkCode code) {
    WCHAR units[4] = {0, 0, 0, 0};
    const int32_t length = kMarkLength[code];
    for (int32_t i = 0; i < length; ++i) units[i] = static_cast<WCHAR>(kMarkText[code][i]);
    GrowableStringAppend(string, units, length);
  }
  void Quote(WCHAR quote) { GrowableStringAppendChar(string, quote); }
  void Text(const WCHAR *text) { GrowableStringAppend(string, text); }
  void Tabs(int64_t level) {
    const int32_t count = level > kMaxIndent ? kMaxIndent : (level < 0 ? 0 : static_cast<int32_t>(level));
    GrowableStringAppend(string, IndentTabsW(count), count);
  }
};

// Renders the cursor's selection into `string` (see RenderOuterXMLW). Leaves
// the string with a buffer unless memory ran out.
void RenderSelection(Cursor *cursor, GrowableString *string) {
  const bool xml = cursor->document && cursor->document->xmlFlag != 0;
  StringSink sink{string};
  Node *current = cursor->current;
  if (current && current == cursor->list) {
    EmitList(current, 0, xml, sink);
  } else if (cursor->base && current) {
    EmitNodes(current, false, 0, xml, sink);
  }
  if (!string->buffer) GrowableStringAppend(string, nullptr, 0);
}

}  // namespace

WCHAR *RenderOuterXMLW(Cursor *cursor) {
  GrowableString string;
  GrowableStringInit(&string);
  RenderSelection(cursor, &string);
  WCHAR *result = nullptr;
  if (string.buffer) {
    const size_t units = static_cast<size_t>(string.length) + 1;
    result = static_cast<WCHAR *>(AllocUserBlock(units * sizeof(WCHAR)));
    if (result) memcpy(result, string.buffer, units * sizeof(WCHAR));
  }
  GrowableStringFree(&string);
  return result;
}

char *RenderOuterXMLA(Cursor *cursor, uint32_t codePage) {
  GrowableString string;
  GrowableStringInit(&string);
  RenderSelection(cursor, &string);
  if (!string.buffer) return nullptr;
  // Converted straight from the rendered string into the caller's block of
  // 3n + 1 zero bytes; only a code page that needs more room than that (as
  // UTF-7 may) gets a block sized by asking, so that nothing is cut.
  const int n = string.length;
  size_t size = 3 * static_cast<size_t>(n) + 1;
  if (n > 0 && size > INT_MAX) {
    GrowableStringFree(&string);
    return nullptr;
  }
  char *result = static_cast<char *>(AllocUserBlock(size));
  if (result && n > 0 &&
      WideCharToMultiByte(codePage, 0, string.buffer, n, result, static_cast<int>(size), nullptr,
                          nullptr) <= 0) {
    const int needed =
        WideCharToMultiByte(codePage, 0, string.buffer, n, nullptr, 0, nullptr, nullptr);
    if (needed > 0 && static_cast<size_t>(needed) >= size) {
      GlobalFree(GlobalHandle(result));
      size = static_cast<size_t>(needed) + 1;
      result = static_cast<char *>(AllocUserBlock(size));
      if (result) WideCharToMultiByte(codePage, 0, string.buffer, n, result, needed, nullptr, nullptr);
    }
  }
  GrowableStringFree(&string);
  return result;
}
