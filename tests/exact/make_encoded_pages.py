#!/usr/bin/env python3
"""Writes tests/exact/encoded_pages.h: one small page per encoding, made with
the iconv program, and the bytes iconv gives for the same page after the edit
the test makes (the first paragraph's text gains a '!'). The test reads these
tables on every platform, so the Windows build checks the same bytes without
iconv. Run it again after changing the cases below; commit its output."""
import pathlib
import subprocess

CASES = [  # iconv name, meta, body, code page, SX_FROM_*
    ("EUC-KR", '<meta charset="euc-kr">', "한국어 문서", 949, "SX_FROM_META"),
    ("BIG5", '<meta http-equiv="Content-Type" content="text/html; charset=big5">', "繁體中文", 950, "SX_FROM_META"),
    ("GBK", "<meta charset=gbk>", "简体中文", 936, "SX_FROM_META"),
    ("WINDOWS-1251", "<meta charset='windows-1251'>", "Русский текст", 1251, "SX_FROM_META"),
    ("WINDOWS-1252", "<meta charset=iso-8859-1>", "Café déjà vu", 1252, "SX_FROM_META"),
    ("ISO-8859-2", '<meta charset="iso-8859-2">', "Zażółć gęślą", 28592, "SX_FROM_META"),
    ("UTF-16LE", "", "Ünïcödé 16", 1200, "SX_FROM_DECLARATION"),
    ("UTF-16", "", "Ünïcödé BOM", 1200, "SX_FROM_BOM"),
]


def page(meta, body, edited):
    first = body + "!" if edited else body
    return f'<html><head>{meta}</head><body><p class="x">{first}</p>\n<p>{body}</p></body></html>\n'


def iconv(text, to):
    return subprocess.run(["iconv", "-f", "UTF-8", "-t", to], input=text.encode(), check=True,
                          capture_output=True).stdout


def literal(data):
    """A C string literal: printable ASCII as itself, other bytes as \\xHH (the
    literal is split where a hex digit follows one)."""
    text, escaped = "", False
    for b in data:
        c = chr(b)
        if 0x20 <= b < 0x7F and c not in '"\\?':
            text += ('""' if escaped and c in "0123456789abcdefABCDEF" else "") + c
            escaped = False
        else:
            text += f"\\x{b:02x}"
            escaped = True
    return '"' + text + '"'


def main():
    out = ["// Made by make_encoded_pages.py with the iconv program; do not edit.",
           "// {iconv name, code page, how it was decided, body (UTF-8), page, page after the edit}",
           "#define SPRIG_BYTES(s) s, sizeof(s) - 1", "static const EncodedPage kEncodedPages[] = {"]
    for name, meta, body, cp, source in CASES:
        out.append(f'    {{"{name}", {cp}, {source}, {literal(body.encode())},')
        out.append(f"     SPRIG_BYTES({literal(iconv(page(meta, body, False), name))}),")
        out.append(f"     SPRIG_BYTES({literal(iconv(page(meta, body, True), name))})}},")
    out += ["};", "#undef SPRIG_BYTES", ""]
    pathlib.Path(__file__).with_name("encoded_pages.h").write_text("\n".join(out))


if __name__ == "__main__":
    main()
