"""Loading of the Sprig editing-layer library and its flat C functions, typed.

Owns the ctypes view of include/sprig.h and include/sprig_exact.h: every
function the package calls is declared here with the header's exact argument
and result widths, and the conversions between Python text and the library's
UTF-16 and narrow strings. Strings the library returns are copied into Python
objects at once; nothing here keeps a pointer into library memory.

The library is loaded with ctypes.CDLL (WinDLL, its stdcall sibling, on
Windows), never PyDLL: CDLL releases the GIL around every foreign call, so
opening, parsing, saving and selecting on one thread lets other Python
threads run, and documents on separate threads are processed in parallel.
"""

import ctypes
import glob
import mmap
import os
import sys

__all__ = ["Library", "load_library", "default_library", "to_wide", "from_wide",
           "from_wide_list", "LIBRARY_ENV", "SxError"]

LIBRARY_ENV = "SPRIG_LIBRARY"

_IS_WINDOWS = sys.platform == "win32"
# The editing-layer library contains the core: the package loads it alone.
_LIBRARY_PATTERNS = (["SprigExact.dll"] if _IS_WINDOWS else
                     ["libsprig-exact.so", "libsprig-exact.so.*", "libsprig-exact*.dylib"])

_u32 = ctypes.c_uint32
_i32 = ctypes.c_int32
_ptr = ctypes.c_void_p          # SG_CURSOR, SG_NOTE, SX_SELECTOR, returned text pointers
_wstr = ctypes.c_char_p         # const SG_WCHAR *: UTF-16LE bytes ending in a zero unit
_astr = ctypes.c_char_p         # const char *
_size = ctypes.c_size_t


class SxError(ctypes.Structure):
    """SX_ERROR: what a failed sx call reports."""
    _fields_ = [("code", _i32), ("osError", _i32), ("line", _u32), ("column", _u32),
                ("message", ctypes.c_char * 512)]


_err = ctypes.POINTER(SxError)
_pu32 = ctypes.POINTER(_u32)

_SIGNATURES = {
    "Version": (_u32, []),
    "sgCreateXMLW": (_ptr, [_wstr, _u32, _u32]),
    "sgOpenXMLW": (_ptr, [_wstr]),
    "sgParseXMLW": (_ptr, [_wstr, _u32]),
    "sgParseXMLA": (_ptr, [_astr, _u32]),
    "sgDupXML": (_ptr, [_ptr]),
    "sgCloseXML": (None, [_ptr]),
    "sgDeleteXML": (None, [_ptr]),
    "sgFlushXML": (_i32, [_ptr]),
    "sgSaveAsW": (_i32, [_ptr, _wstr, _u32]),
    "sgGetSrcXML": (_ptr, [_ptr]),
    "sgGetTagSrc": (_ptr, [_ptr, ctypes.POINTER(_u32)]),
    "sgGetNodeID": (_i32, [_ptr, ctypes.POINTER(_u32)]),
    "sgGetEncoding": (_u32, [_ptr]),
    "sgGetXMLFlag": (_u32, [_ptr]),
    "sgSetXMLFlag": (_i32, [_ptr, _u32]),
    "sgGetUpdateFlag": (_u32, [_ptr]),
    "sgSetUpdateFlag": (_i32, [_ptr, _u32]),
    "sgGetNameW": (_ptr, [_ptr]),
    "sgGetInnerStrW": (_ptr, [_ptr]),
    "sgSetInnerStrW": (_i32, [_ptr, _wstr, _i32]),
    "sgGetAfterStrW": (_ptr, [_ptr]),
    "sgSetAfterStrW": (_i32, [_ptr, _wstr, _i32]),
    "sgGetInnerTextW": (_ptr, [_ptr]),
    "sgMoveTo": (_i32, [_ptr, _u32]),
    "sgSeek": (_i32, [_ptr, _u32]),
    "sgGetLevel": (_u32, [_ptr]),
    "sgGetIndex": (_u32, [_ptr]),
    "sgGetChildCount": (_u32, [_ptr]),
    "sgTagIndex": (_u32, [_ptr]),
    "sgIsEmptyList": (_i32, [_ptr]),
    "sgGetTagPos": (_u32, [_ptr, _u32]),
    "sgSetBase": (_i32, [_ptr, _i32]),
    "sgSearchIndexW": (_i32, [_ptr, _wstr, _u32, _i32]),
    "sgSetAttribW": (_i32, [_ptr, _wstr, _wstr]),
    "sgGetAttribW": (_ptr, [_ptr, _wstr]),
    "sgDoesAttribExistW": (_i32, [_ptr, _wstr]),
    "sgDeleteAttribW": (_i32, [_ptr, _wstr]),
    "sgGetAttribCount": (_u32, [_ptr]),
    "sgGetAttribNameW": (_ptr, [_ptr, _i32]),
    "sgGetAttribValueW": (_ptr, [_ptr, _i32]),
    "sgAddNodeW": (_i32, [_ptr, _wstr, _u32]),
    "sgAddNode2W": (_i32, [_ptr, _wstr, _u32, _u32]),
    "sgInsertNodeBeforeW": (_i32, [_ptr, _wstr, _u32]),
    "sgInsertNodeAfterW": (_i32, [_ptr, _wstr, _u32]),
    "sgAddChildNodeW": (_i32, [_ptr, _wstr, _u32]),
    "sgAddNodePathW": (_i32, [_ptr, _wstr, _u32]),
    "sgDeleteNode": (_i32, [_ptr]),
    "sgMoveNode": (_i32, [_ptr, _u32]),
    "sgInsertTree": (_i32, [_ptr, _ptr, _u32]),
    "sgCopyTree": (_ptr, [_ptr]),
    "sgGetOuterXMLW": (_ptr, [_ptr]),
    "sgGetOuterXMLA": (_ptr, [_ptr, _u32]),
    "sgCreateNoteW": (_ptr, [_ptr, _wstr]),
    "sgNoteGetCount": (_u32, [_ptr]),
    "sgNoteGetByIndex": (_ptr, [_ptr, _u32]),
    "sgNoteGetByNameW": (_ptr, [_ptr, _wstr]),
    "sgDeleteNote": (None, [_ptr]),
    "sgNoteAddStrW": (_i32, [_ptr, _wstr, _wstr]),
    "sgNoteAddStrLnW": (_i32, [_ptr, _wstr, _wstr]),
    "sgNoteGetStrW": (_ptr, [_ptr]),
    "sgNoteGetStrListW": (_ptr, [_ptr]),
    "sgNoteGetPosW": (_u32, [_ptr, _wstr]),
    "sgNoteSetAttribW": (_i32, [_ptr, _wstr, _wstr]),
    "sgNoteDeleteAttribW": (_i32, [_ptr, _wstr]),
    "sgNoteGetAttribW": (_ptr, [_ptr, _wstr]),
    "sgNoteDoesAttribExistW": (_i32, [_ptr, _wstr]),
    "sgNoteSetReferenceNode": (_i32, [_ptr, _ptr]),
    "sgNoteGetReferenceNode": (_ptr, [_ptr, _i32, _u32]),
    "sgNoteSearchReferenceNode": (_u32, [_ptr, _ptr]),
    # The editing layer (sprig_exact.h): paths, labels and selectors are UTF-8.
    "sxOpen": (_ptr, [_astr, _astr, _err]),
    "sxParse": (_ptr, [_astr, _size, _astr, _err]),
    "sxGetCodePage": (_u32, [_ptr]),
    "sxGetEncodingName": (_astr, [_ptr]),
    "sxGetEncodingSource": (_u32, [_ptr]),
    "sxGetInvalidCount": (_u32, [_ptr, _pu32, _pu32]),
    "sxGetLineColumn": (_i32, [_ptr, _pu32, _pu32]),
    "sxSave": (_i32, [_ptr, _astr, _astr, _u32, _err]),
    "sxRender": (_i32, [_ptr, _astr, _u32, ctypes.POINTER(_ptr), ctypes.POINTER(_size), _err]),
    "sxFree": (None, [_ptr]),
    "sxCodePageOfLabel": (_u32, [_astr]),
    "sxDecodeText": (_i32, [_wstr, _i32, ctypes.c_char_p, _i32]),
    "sxCompileSelector": (_ptr, [_astr, _err]),
    "sxFreeSelector": (None, [_ptr]),
    "sxSelect": (_i32, [_ptr, _ptr, _ptr, _u32]),
    "sxSelectCount": (_u32, [_ptr, _ptr, _u32]),
}

# The caller-freed blocks of sgGetOuterXMLW/A: kernel32 on Windows, the
# library's own exports elsewhere.
_GLOBAL_SIGNATURES = {
    "GlobalHandle": (_ptr, [_ptr]),
    "GlobalUnlock": (ctypes.c_int, [_ptr]),
    "GlobalFree": (_ptr, [_ptr]),
}


class Library:
    """One loaded copy of the Sprig library with every used function typed.

    The flat functions are attributes named as in sprig.h (``lib.sgGetNameW``).
    """

    def __init__(self, path):
        self.path = os.fspath(path)
        loader = ctypes.WinDLL if _IS_WINDOWS else ctypes.CDLL
        self._dll = loader(self.path)
        for name, (restype, argtypes) in _SIGNATURES.items():
            function = getattr(self._dll, name)
            function.restype = restype
            function.argtypes = argtypes
            setattr(self, name, function)
        memory = ctypes.WinDLL("kernel32") if _IS_WINDOWS else self._dll
        for name, (restype, argtypes) in _GLOBAL_SIGNATURES.items():
            function = getattr(memory, name)
            function.restype = restype
            function.argtypes = argtypes
            setattr(self, name, function)

    def free_global(self, pointer):
        """Releases a block handed out by sgGetOuterXMLW/A (pointer may be None)."""
        if pointer:
            handle = self.GlobalHandle(pointer)
            self.GlobalUnlock(handle)
            self.GlobalFree(handle)

    def __repr__(self):
        return "<sprig.Library %r>" % self.path


_default = None


def _candidates(path):
    if path is not None:
        return [os.fspath(path)], "the path given to load_library"
    env = os.environ.get(LIBRARY_ENV)
    if env:
        return [env], "$" + LIBRARY_ENV
    here = os.path.dirname(os.path.abspath(__file__))
    found = [f for pattern in _LIBRARY_PATTERNS for f in sorted(glob.glob(os.path.join(here, pattern)))]
    return found or [os.path.join(here, _LIBRARY_PATTERNS[0])], "the package folder"


def load_library(path=None):
    """Loads the library and makes it the default for new documents.

    Looks, in this order, at `path`, the environment variable SPRIG_LIBRARY
    and the editing-layer library next to this package (libsprig-exact.so*,
    or SprigExact.dll on Windows). Raises OSError naming the places tried,
    SPRIG_LIBRARY and load_library when no library can be loaded.
    """
    global _default
    files, origin = _candidates(path)
    errors = []
    for file in files:
        try:
            library = Library(file)
        except (OSError, AttributeError) as error:
            errors.append("%s: %s" % (file, error))
            continue
        _default = library
        return library
    raise OSError("cannot load the Sprig editing-layer library from %s (%s); set %s to the "
                  "library file or call sprig.load_library(path)"
                  % (origin, "; ".join(errors), LIBRARY_ENV))


def default_library():
    """The library loaded last, loading it from the default places on first use."""
    return _default if _default is not None else load_library()


# ---- text conversion ---------------------------------------------------------

def to_utf8(text):
    """A label or selector as the UTF-8 bytes the sx functions take (None
    stays None)."""
    return text if text is None or isinstance(text, bytes) else str(text).encode("utf-8")


def path_bytes(path):
    """A file path as the sx functions take it: the bytes the file system
    names it by on POSIX, UTF-8 on Windows."""
    path = os.fspath(path)
    if isinstance(path, bytes):
        return path
    return path.encode("utf-8") if _IS_WINDOWS else os.fsencode(path)


def to_wide(text):
    """Python str as UTF-16LE bytes with a terminating zero unit (None stays None).

    Lone surrogates are kept as they are, so any str round-trips exactly.
    """
    if text is None:
        return None
    if not isinstance(text, str):
        raise TypeError("expected str, got %s" % type(text).__name__)
    return text.encode("utf-16-le", "surrogatepass") + b"\0\0"


def wide_length(encoded):
    """Number of UTF-16 units in a result of to_wide, terminator excluded."""
    return (len(encoded) - 2) // 2


_PAGE = mmap.PAGESIZE


def _read_until(address, pattern):
    """Bytes from `address` up to the first `pattern` at an even offset.

    Reads page by page: a page is read only while the terminator has not been
    seen, so every page touched holds at least one byte of the string itself
    and is therefore mapped. Never reads through a 32-bit wchar_t view.
    """
    buffer = bytearray()
    position = address
    while True:
        count = _PAGE - (position % _PAGE)
        searched_from = max(0, len(buffer) - len(pattern) + 1)
        buffer += ctypes.string_at(position, count)
        position += count
        found = buffer.find(pattern, searched_from)
        while found != -1 and found % 2:
            found = buffer.find(pattern, found + 1)
        if found != -1:
            return bytes(buffer[:found])


def from_wide(address):
    """Copies the zero-terminated UTF-16 string at `address` (None for null)."""
    if not address:
        return None
    return _read_until(address, b"\0\0").decode("utf-16-le", "surrogatepass")


def from_wide_list(address):
    """Copies a UTF-16 string list (zero-terminated strings ended by an empty
    one) into a list of str; None for null."""
    if not address:
        return None
    if ctypes.string_at(address, 2) == b"\0\0":
        return []
    data = _read_until(address, b"\0\0\0\0").decode("utf-16-le", "surrogatepass")
    return data.split("\0")


def from_narrow(address):
    """Copies the zero-terminated narrow string at `address` as bytes."""
    if not address:
        return None
    return ctypes.string_at(address)
