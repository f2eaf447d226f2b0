// wvsprintfA and wvsprintfW outside Windows: the wsprintf format language,
// written to give the output Windows' user32 gives.
//
//   %[-][#][0][width][.precision][prefix]type, prefixes h l w I64 I32 I,
//   types c C d i s S u x X p and %%.
//
// The flags are recognised only in that order. The width pads with spaces
// (zeros for numbers with '0') and excludes a "0x" prefix; a precision of 0
// counts as none; on numbers the precision is a minimum digit count that
// includes the minus sign. Integers are 32 bits unless prefixed I64 (64 bits)
// or I (pointer size); h and l change only characters and strings: %s is
// narrow in the A form and wide in the W form, %S the other, %hs/%hS always
// narrow, %ls/%lS/%ws always wide (%c and %C alike, but %wc is narrow in the
// A form). Text of the other width is converted in the ANSI code page before
// width and precision apply, so they count output characters. A null string
// prints "(null)". After an unknown type letter, what was parsed is
// dropped and the letter itself is read again as ordinary text.
//
// Output stops at 1023 characters plus the terminator, never beyond; the
// result is the number of characters written without the terminator.
#ifndef _WIN32

#include "platform/platform.h"

#include <string.h>

namespace {

enum { kMaxOutput = 1024 };  // characters, terminator included

enum ArgType {
  kUnknown,
  kNarrowChar,
  kWideChar,
  kNarrowString,
  kWideString,
  kSigned,
  kUnsigned,
  kHex,
};

struct Spec {
  bool left = false;
  bool hexPrefix = false;
  bool zero = false;
  bool upper = false;
  int width = 0;
  int precision = 0;
  enum { kInt, kInt64, kIntPtr } size = kInt;
  ArgType type = kUnknown;
};

// Reads one conversion (flags, width, precision, prefix, type) after '%';
// returns the characters it used, which exclude an unknown type letter.
template <typename Char>
int ParseSpec(const Char *format, bool wideForm, Spec *spec) {
  const Char *p = format;
  if (*p == '-') { spec->left = true; ++p; }
  if (*p == '#') { spec->hexPrefix = true; ++p; }
  if (*p == '0') { spec->zero = true; ++p; }
  for (; *p >= '0' && *p <= '9'; ++p)
    if (spec->width < kMaxOutput) spec->width = spec->width * 10 + (*p - '0');
  if (*p == '.')
    for (++p; *p >= '0' && *p <= '9'; ++p)
      if (spec->precision < kMaxOutput) spec->precision = spec->precision * 10 + (*p - '0');
  bool isLong = false, isShort = false, isWide = false;
  if (*p == 'l') {
    isLong = true;
    ++p;
  } else if (*p == 'h') {
    isShort = true;
    ++p;
  } else if (*p == 'w') {
    isWide = true;
    ++p;
  } else if (*p == 'I') {
    if (p[1] == '6' && p[2] == '4') {
      spec->size = Spec::kInt64;
      p += 3;
    } else if (p[1] == '3' && p[2] == '2') {
      p += 3;
    } else {
      spec->size = Spec::kIntPtr;
      ++p;
    }
  }
  // Characters and strings: the form's own width unless a prefix or the
  // capital letter says otherwise ('w' does not widen %c).
  switch (*p) {
    case 'c':
      spec->type = (wideForm ? !isShort : isLong) ? kWideChar : kNarrowChar;
      break;
    case 's':
      spec->type = (wideForm ? !isShort : isLong || isWide) ? kWideString : kNarrowString;
      break;
    case 'C':
      spec->type = (wideForm ? isLong : !isShort) ? kWideChar : kNarrowChar;
      break;
    case 'S':
      spec->type = (wideForm ? isLong || isWide : !isShort) ? kWideString : kNarrowString;
      break;
    case 'd':
    case 'i':
      spec->type = kSigned;
      break;
    case 'u':
      spec->type = kUnsigned;
      break;
    case 'p':
      spec->width = 2 * sizeof(void *);
      spec->zero = true;
      spec->size = Spec::kIntPtr;
      spec->upper = true;
      spec->type = kHex;
      break;
    case 'X':
      spec->upper = true;
      spec->type = kHex;
      break;
    case 'x':
      spec->type = kHex;
      break;
    default:
      return static_cast<int>(p - format);
  }
  return static_cast<int>(p - format) + 1;
}

// The output buffer, which silently drops what does not fit.
template <typename Char>
struct Output {
  Char *out;
  int length;

  bool Full() const { return length >= kMaxOutput - 1; }
  void Put(Char c) {
    if (!Full()) out[length++] = c;
  }
  void Repeat(Char c, int count) {
    for (; count > 0 && !Full(); --count) out[length++] = c;
  }
  void Write(const Char *text, int count) {
    for (int i = 0; i < count && !Full(); ++i) out[length++] = text[i];
  }
};

// Length of a text, looking at no more than `limit` units.
template <typename Char>
int BoundedLength(const Char *text, int limit) {
  int length = 0;
  while (length < limit && text[length]) ++length;
  return length;
}

// A string argument of either width, in the output's width. Long enough
// arguments are converted only as far as the output can still take.
template <typename Char>
struct StringArg {
  const Char *text = nullptr;
  int length = 0;
  Char buffer[2 * kMaxOutput];
};

const char kNullA[] = "(null)";
const WCHAR kNullW[] = {'(', 'n', 'u', 'l', 'l', ')', 0};

void LoadStringArg(const char *text, StringArg<char> *arg) {
  arg->text = text ? text : kNullA;
  arg->length = BoundedLength(arg->text, kMaxOutput);
}

void LoadStringArg(const WCHAR *text, StringArg<WCHAR> *arg) {
  arg->text = text ? text : kNullW;
  arg->length = BoundedLength(arg->text, kMaxOutput);
}

void LoadStringArg(const WCHAR *text, StringArg<char> *arg) {
  if (!text) text = kNullW;
  int units = BoundedLength(text, kMaxOutput);  // one byte or more each
  arg->text = arg->buffer;
  arg->length = units ? WideCharToMultiByte(CP_ACP, 0, text, units, arg->buffer,
                                            sizeof arg->buffer, nullptr, nullptr)
                      : 0;
}

void LoadStringArg(const char *text, StringArg<WCHAR> *arg) {
  if (!text) text = kNullA;
  int bytes = BoundedLength(text, 2 * kMaxOutput);  // two bytes at most each
  arg->text = arg->buffer;
  arg->length = bytes ? MultiByteToWideChar(CP_ACP, 0, text, bytes, arg->buffer,
                                            2 * kMaxOutput)
                      : 0;
}

// Digits of an integer argument, a minus sign first when negative.
int FormatNumber(const Spec &spec, uint64_t bits, char *digits) {
  bool negative = false;
  uint64_t value = bits;
  if (spec.size == Spec::kInt) {
    value = static_cast<uint32_t>(bits);
    if (spec.type == kSigned && static_cast<int32_t>(value) < 0) {
      negative = true;
      value = static_cast<uint64_t>(-static_cast<int64_t>(static_cast<int32_t>(value)));
    }
  } else if (spec.type == kSigned && static_cast<int64_t>(bits) < 0) {
    negative = true;
    value = 0 - bits;
  }
  const char *set = spec.upper ? "0123456789ABCDEF" : "0123456789abcdef";
  unsigned base = spec.type == kHex ? 16 : 10;
  char reversed[24];
  int count = 0;
  do {
    reversed[count++] = set[value % base];
    value /= base;
  } while (value);
  int length = 0;
  if (negative) digits[length++] = '-';
  while (count) digits[length++] = reversed[--count];
  return length;
}

template <typename Char>
int Format(Char *out, const Char *format, va_list args, bool wideForm) {
  Output<Char> output = {out, 0};
  const Char *p = format;
  while (*p && !output.Full()) {
    if (*p != '%') {
      output.Put(*p++);
      continue;
    }
    ++p;
    if (*p == '%') {
      output.Put(*p++);
      continue;
    }
    Spec spec;
    p += ParseSpec(p, wideForm, &spec);

    // What is written: `body` (a string, or number digits after zeros)
    // padded with spaces to the width.
    Char small[4];
    const Char *body = small;
    int bodyLength = 0;
    int zeros = 0;        // leading zeros of a number
    bool minus = false;   // a number's sign, written before its zeros
    bool prefix = false;  // "0x" of a number
    StringArg<Char> string;
    char digits[24];
    Char number[24];
    switch (spec.type) {
      case kNarrowChar: {
        char c = static_cast<char>(va_arg(args, int));
        if (sizeof(Char) == 1) {
          small[0] = static_cast<Char>(c);
          bodyLength = 1;
        } else {
          WCHAR unit = 0;
          MultiByteToWideChar(CP_ACP, 0, &c, 1, &unit, 1);
          small[0] = static_cast<Char>(unit);
          bodyLength = 1;
        }
        break;
      }
      case kWideChar: {
        WCHAR unit = static_cast<WCHAR>(va_arg(args, int));
        if (sizeof(Char) == 2) {
          small[0] = static_cast<Char>(unit);
          bodyLength = 1;
        } else {
          char bytes[4];
          bodyLength = WideCharToMultiByte(CP_ACP, 0, &unit, 1, bytes, sizeof bytes,
                                           nullptr, nullptr);
          for (int i = 0; i < bodyLength; ++i) small[i] = static_cast<Char>(bytes[i]);
        }
        break;
      }
      case kNarrowString:
      case kWideString: {
        if (spec.type == kNarrowString)
          LoadStringArg(va_arg(args, const char *), &string);
        else
          LoadStringArg(va_arg(args, const WCHAR *), &string);
        body = string.text;
        bodyLength = string.length;
        if (spec.precision > 0 && bodyLength > spec.precision) bodyLength = spec.precision;
        break;
      }
      case kSigned:
      case kUnsigned:
      case kHex: {
        uint64_t bits = spec.size == Spec::kInt64    ? va_arg(args, uint64_t)
                        : spec.size == Spec::kIntPtr ? static_cast<uint64_t>(va_arg(args, uintptr_t))
                                                     : va_arg(args, unsigned int);
        int length = FormatNumber(spec, bits, digits);
        minus = digits[0] == '-';
        for (int i = 0; i < length; ++i) number[i] = static_cast<Char>(digits[i]);
        body = number + minus;
        bodyLength = length - minus;
        int precision = spec.precision > length ? spec.precision : length;
        if (spec.zero && !spec.left && spec.width > precision) precision = spec.width;
        zeros = precision - length;
        prefix = spec.hexPrefix && spec.type == kHex;
        break;
      }
      case kUnknown:
        break;
    }
    int shown = minus + zeros + bodyLength;  // what the width measures
    int padding = spec.width > shown ? spec.width - shown : 0;
    if (!spec.left) output.Repeat(' ', padding);
    if (spec.type == kUnknown) continue;  // the letter is read again as text
    if (prefix) {
      output.Put('0');
      output.Put(spec.upper ? 'X' : 'x');
    }
    if (minus) output.Put('-');
    output.Repeat('0', zeros);
    output.Write(body, bodyLength);
    if (spec.left) output.Repeat(' ', padding);
  }
  out[output.length] = 0;
  return output.length;
}

}  // namespace

int wvsprintfA(LPSTR out, LPCSTR format, va_list args) {
  if (!out) return 0;
  if (!format) {
    *out = 0;
    return 0;
  }
  return Format(out, format, args, false);
}

int wvsprintfW(LPWSTR out, LPCWSTR format, va_list args) {
  if (!out) return 0;
  if (!format) {
    *out = 0;
    return 0;
  }
  return Format(out, format, args, true);
}

#endif  // !_WIN32
