// The two tab buffers: 40 tabs and a terminator each. A run of n tabs is the
// last n tabs of the buffer, so nothing is ever copied or overwritten.
#include "output/indent.h"

namespace {

#define SPRIG_TABS10 9, 9, 9, 9, 9, 9, 9, 9, 9, 9
const WCHAR kTabsW[kMaxIndent + 1] = {SPRIG_TABS10, SPRIG_TABS10, SPRIG_TABS10, SPRIG_TABS10, 0};
const char kTabsA[kMaxIndent + 1] = {SPRIG_TABS10, SPRIG_TABS10, SPRIG_TABS10, SPRIG_TABS10, 0};
#undef SPRIG_TABS10

// Number of tabs for `count`: clamped to 0..kMaxIndent.
int32_t TabCount(int32_t count) {
  if (count <= 0) return 0;
  return count > kMaxIndent ? kMaxIndent : count;
}

}  // namespace

const WCHAR *IndentTabsW(int32_t count) { return kTabsW + (kMaxIndent - TabCount(count)); }

const char *IndentTabsA(int32_t count) { return kTabsA + (kMaxIndent - TabCount(count)); }
