"""Sprig for Python: a forgiving document-object model for XML and loose HTML.

    with sprig.Document.open("page.html") as doc:     # any encoding, detected
        for link in doc.select("a[href]"):
            link.attrs["rel"] = "nofollow"
    # saved on leaving the block (not after an exception), every other byte kept

The editing-layer library (which contains the core) is loaded from
load_library(path), else $SPRIG_LIBRARY, else the libsprig-exact.so*
(SprigExact.dll on Windows) next to this package.
"""

from ._native import Library, load_library, default_library
from ._dom import (Attributes, Cursor, Document, LossyWriteError, Note, NoteAttributes,
                   SelectorError, SprigClosedError, SprigError, SprigIOError, decode_text,
                   encoding_code)

Element = Cursor    # a cursor standing on an element

# Constants of sprig.h, for Cursor.search and Cursor.insert(kind=...).
KIND_PLAIN, KIND_ELEMENT, KIND_END_TAG, KIND_VOID = 0, 1, 2, 3
KIND_EMPTY_TAG, KIND_PI, KIND_DECL, KIND_COMMENT = 4, 5, 6, 7
ENC_ANSI, ENC_UTF7, ENC_UTF8 = 0, 65000, 65001
SEARCH_FIRST, SEARCH_NEXT, SEARCH_PREV = 1, 2, 3
SEARCH_FIRST_SIBLING, SEARCH_NEXT_SIBLING, SEARCH_PREV_SIBLING = 4, 5, 6
SEARCH_CHILD, SEARCH_ANCESTOR, SEARCH_DESCENDANT = 7, 8, 9
SEARCH_PATH_FIRST, SEARCH_PATH_NEXT = 10, 11

__version__ = "0.2.2"

__all__ = [
    "Attributes", "Cursor", "Document", "Element", "Library", "LossyWriteError", "Note",
    "NoteAttributes", "SelectorError", "SprigClosedError", "SprigError", "SprigIOError",
    "decode_text", "default_library", "encoding_code", "load_library", "version",
]


def version():
    """The loaded library's version number (0x202 for 2.2)."""
    return default_library().Version()
