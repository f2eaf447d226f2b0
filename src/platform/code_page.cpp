// MultiByteToWideChar, WideCharToMultiByte and IsDBCSLeadByte outside
// Windows, with Windows' calling conventions: a length of -1 means "through
// the terminating zero" (which is converted and counted), an output size of 0
// asks for the size needed, and output that does not fit fails with 0 without
// writing past the caller's buffer. The ANSI code page (CP_ACP, also the OEM
// and thread code pages) is 932. Only flags 0 and no default character are
// supported, as the library uses nothing else.
#ifndef _WIN32

#include "platform/codec.h"

#include <string.h>

namespace {

const UINT kOemCodePage = 1;
const UINT kThreadCodePage = 3;
const UINT kAscii = 20127;
const UINT kAnsiCodePage = 932;

UINT ResolveCodePage(UINT codePage) {
  if (codePage == CP_ACP || codePage == kOemCodePage || codePage == kThreadCodePage)
    return kAnsiCodePage;
  return codePage;
}

// Windows' US-ASCII: a high byte loses its top bit; a unit above 0x7F is '?'.
void DecodeAscii(const unsigned char *text, size_t bytes, WideSink *sink) {
  for (size_t i = 0; i < bytes; ++i) sink->Put(text[i] & 0x7F);
}

void EncodeAscii(const WCHAR *text, size_t units, ByteSink *sink) {
  for (size_t i = 0; i < units; ++i)
    sink->Put(text[i] < 0x80 ? static_cast<char>(text[i]) : '?');
}

size_t LengthW(const WCHAR *text) {
  size_t length = 0;
  while (text[length]) ++length;
  return length;
}

// Size query or bounded result, as both conversion calls report it.
int Finish(size_t count, int capacity) {
  if (count > 0x7FFFFFFF) return 0;
  if (capacity > 0 && count > static_cast<size_t>(capacity)) return 0;
  return static_cast<int>(count);
}

}  // namespace

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR text, int bytes,
                        LPWSTR out, int outUnits) {
  if (flags != 0 || !text || bytes == 0 || bytes < -1 || outUnits < 0 ||
      (outUnits > 0 && !out))
    return 0;
  size_t length = bytes == -1 ? strlen(text) + 1 : static_cast<size_t>(bytes);
  const unsigned char *input = reinterpret_cast<const unsigned char *>(text);
  WideSink sink = {out, static_cast<size_t>(outUnits), 0};
  codePage = ResolveCodePage(codePage);
  if (codePage == CP_UTF8) {
    DecodeUtf8(input, length, &sink);
  } else if (codePage == CP_UTF7) {
    DecodeUtf7(input, length, &sink);
  } else if (codePage == kAscii) {
    DecodeAscii(input, length, &sink);
  } else if (!DecodeCodePage(codePage, input, length, &sink)) {
    return 0;
  }
  return Finish(sink.count, outUnits);
}

int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR text, int units,
                        LPSTR out, int outBytes, LPCSTR defaultChar,
                        LPBOOL usedDefaultChar) {
  if (flags != 0 || defaultChar || usedDefaultChar || !text || units == 0 ||
      units < -1 || outBytes < 0 || (outBytes > 0 && !out))
    return 0;
  size_t length = units == -1 ? LengthW(text) + 1 : static_cast<size_t>(units);
  ByteSink sink = {out, static_cast<size_t>(outBytes), 0};
  codePage = ResolveCodePage(codePage);
  if (codePage == CP_UTF8) {
    EncodeUtf8(text, length, &sink);
  } else if (codePage == CP_UTF7) {
    EncodeUtf7(text, length, &sink);
  } else if (codePage == kAscii) {
    EncodeAscii(text, length, &sink);
  } else if (!EncodeCodePage(codePage, text, length, &sink)) {
    return 0;
  }
  return Finish(sink.count, outBytes);
}

BOOL IsDBCSLeadByte(BYTE byte) { return IsShiftJisLeadByte(byte) ? TRUE : FALSE; }

#endif  // !_WIN32
