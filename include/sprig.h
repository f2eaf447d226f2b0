/**
 * @file sprig.h
 * @brief The core library: documents, cursors, navigation, search and editing.
 *
 * sprig.h - the public interface of Sprig, a small forgiving document-object
 * model for XML and loosely written HTML.
 *
 * An application opens a file, parses a text or creates an empty document and
 * receives an SG_CURSOR. Every other call takes that cursor (or a note handle)
 * and reads, moves or edits through it. Text comes in two forms: the W
 * functions take and return UTF-16 (SG_WCHAR), the A functions text in the
 * system ANSI code page (Shift-JIS, code page 932, outside Windows).
 *
 * Ownership in one paragraph: text returned by a getter belongs to the library
 * (to a node, an attribute, a cursor, a note or a result ring) and is never
 * freed by the caller. Only sgGetOuterXMLW/A hand out a block that the caller
 * frees, with GlobalFree(GlobalHandle(p)) after GlobalUnlock. Cursors returned
 * by the open, parse, create, duplicate, copy and note-reference functions are
 * released with sgCloseXML or sgDeleteXML.
 *
 * Results: 1 success, 0 failure; levels, indexes, counts and positions are
 * unsigned 32-bit with 0xFFFFFFFF for none; no function sets an error code.
 * Text lengths given as signed 32-bit values mean "up to the terminating zero"
 * when negative.
 *
 * Threads: separate documents may be used on separate threads at once. One
 * document, with every cursor on it, every note of those cursors and every
 * cursor a note reference hands out, is used by one thread at a time: the
 * caller serialises those calls. A document may be closed, and its cursors
 * and notes released, on another thread than the one that opened it, once
 * the caller has handed it over (a mutex, a join or a queue). Documents tied
 * together count as one: a note referring to an element of another document,
 * and sgInsertTree reading its source, touch both. The result rings
 * (sgToMBStr, sgToWCStr, sgToNormalStrTemp16W/A, sgToQuoteStrTemp16W/A) are
 * per thread: a result stays valid for the next 15 results made on the same
 * thread, whatever other threads do, and a thread's rings are freed when it
 * ends. The text-conversion flag word is one word for the whole process,
 * read and set atomically: a setting made on one thread applies to all.
 * NodeIds are unique across the process and increase in the order one thread
 * makes nodes; a thread takes them from the process in blocks, so nodes made
 * on different threads at once are not numbered in time order.
 *
 * A null cursor (or note) gives the failure result of the function: null,
 * 0, 0xFFFFFFFF or nothing done.
 */
#ifndef SPRIG_H
#define SPRIG_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#  define SG_CALL __stdcall
#  if defined(SPRIG_BUILDING)
#    define SG_API __declspec(dllexport)
#  elif defined(SPRIG_STATIC)
#    define SG_API
#  else
#    define SG_API __declspec(dllimport)
#  endif
#else
#  define SG_CALL
#  if defined(__GNUC__)
#    define SG_API __attribute__((visibility("default")))
#  else
#    define SG_API
#  endif
#endif

#ifdef __cplusplus
extern "C" {
#endif

/** @defgroup sg_types Types and constants
 * @brief Handles, the scan callback, node kinds, code pages and the codes of
 * the navigation, search and editing calls.
 * @{ */

/** UTF-16 code unit: wchar_t on Windows, char16_t (16 bits) elsewhere. */
#if defined(_WIN32)
typedef wchar_t SG_WCHAR;
#elif defined(__cplusplus)
typedef char16_t SG_WCHAR;
#else
typedef uint_least16_t SG_WCHAR;
#endif

/** A position in one document (opaque); released with sgCloseXML or sgDeleteXML. */
typedef struct SgCursor *SG_CURSOR;
/** A note owned by a cursor (opaque); dies with its cursor or by sgDeleteNote. */
typedef struct SgNote *SG_NOTE;

/** Callback of sgScanTree: called on entering (phase 0) and leaving (phase 1)
 * each element; depth 0 is the base list. Returns SG_SCAN_* bits, 0 to go on. */
typedef uint32_t (SG_CALL *SG_SCAN_PROC)(SG_CURSOR cursor, uint32_t depth,
                                         uint32_t phase, intptr_t user);

/** @name Node kinds (sgAddNode2W/A) */
/** @{ */
#define SG_KIND_PLAIN      0u /**< element made by editing without a kind */
#define SG_KIND_ELEMENT    1u /**< start tag, content, end tag */
#define SG_KIND_END_TAG    2u /**< end tag; never kept in a tree */
#define SG_KIND_VOID       3u /**< br, hr, img, input, col, meta: no end tag */
#define SG_KIND_EMPTY_TAG  4u /**< `<name/>` */
#define SG_KIND_PI         5u /**< `<?name ...?>` */
#define SG_KIND_DECL       6u /**< `<!NAME ...>` */
#define SG_KIND_COMMENT    7u /**< `<!-- ... -->` */

/** @} */

/** @name Encoding codes: Windows code-page numbers; any other number is used as a code page too */
/** @{ */
#define SG_ENC_ANSI        0u /**< system ANSI code page (Shift-JIS) */
#define SG_ENC_UTF7        65000u /**< UTF-7 */
#define SG_ENC_UTF8        65001u /**< UTF-8 */

/** @} */

/** @name Bits of the text-conversion flag word (sgSetTextConvFlag) */
/** @{ */
#define SG_TEXTCONV_KEEP_CONTROLS 1u /**< unescaping keeps TAB, LF and CR */

/** @} */

/** @name Move codes of sgMoveTo: where the cursor goes */
/** @{ */
#define SG_MOVE_BASE           1u /**< to the base list's head, no element selected; 1 */
#define SG_MOVE_BASE_FIRST     2u /**< to the first element of the base list; 1 when there is one */
#define SG_MOVE_PARENT         3u /**< to the owner of the cursor's list, never above the base; 1 when moved */
#define SG_MOVE_INTO           4u /**< to the head of the current element's child list; 1 when moved */
#define SG_MOVE_FIRST_CHILD    5u /**< to the first element of the current element's child list; 1 when moved */
#define SG_MOVE_LAST_CHILD     6u /**< to the last element of the current element's child list; 1 when moved */
#define SG_MOVE_LIST_HEAD      7u /**< to the head of the cursor's list; 1 */
#define SG_MOVE_FIRST          8u /**< to the first element of the cursor's list; 1 when there is one */
#define SG_MOVE_PREV           9u /**< to the previous node of the list ring; 1 when it is an element */
#define SG_MOVE_NEXT           10u /**< to the next node of the list ring; 1 when it is an element */
#define SG_MOVE_LAST           11u /**< to the last element of the cursor's list; 1 when there is one */
#define SG_MOVE_PREV_IN_ORDER  12u /**< to the previous element in document order below the base */
#define SG_MOVE_NEXT_IN_ORDER  13u /**< to the next element in document order below the base */

/** @} */

/** @name Result bits of an SG_SCAN_PROC */
/** @{ */
#define SG_SCAN_STOP           1u /**< end the walk; sgScanTree returns 1 */
#define SG_SCAN_ABORT          2u /**< end the walk; sgScanTree returns 0 */
#define SG_SCAN_SKIP_CHILDREN  4u /**< phase 0 only: do not descend */
#define SG_SCAN_SKIP_SIBLINGS  8u /**< leave this level */

/** @} */

/** @name Search modes of sgSearchW/A and sgSearchIndexW/A: what is searched */
/** @{ */
#define SG_SEARCH_FIRST          1u /**< the whole tree below the base, from the start */
#define SG_SEARCH_NEXT           2u /**< forward in document order after the current node */
#define SG_SEARCH_PREV           3u /**< backward in document order before the current node */
#define SG_SEARCH_FIRST_SIBLING  4u /**< the cursor's list from its first element */
#define SG_SEARCH_NEXT_SIBLING   5u /**< the cursor's list after the current element */
#define SG_SEARCH_PREV_SIBLING   6u /**< the cursor's list before the current element, nearest first */
#define SG_SEARCH_CHILD          7u /**< the current element's child list */
#define SG_SEARCH_ANCESTOR       8u /**< the current element's owners, nearest first, not above the base list */
#define SG_SEARCH_DESCENDANT     9u /**< the current element's descendants in document order */
#define SG_SEARCH_PATH_FIRST     10u /**< elements whose names from the base list down match the path */
#define SG_SEARCH_PATH_NEXT      11u /**< the next such element after the current element's subtree */

/** @} */

/** @name Directions of sgMoveNode */
/** @{ */
#define SG_MOVENODE_FIRST  1u /**< to the start of its list */
#define SG_MOVENODE_LAST   2u /**< to the end of its list */

/** @} */

/** @name Places of sgInsertTree */
/** @{ */
#define SG_INSERT_APPEND   0u /**< at the end of the cursor's list */
#define SG_INSERT_BEFORE   1u /**< before the current element */
#define SG_INSERT_AFTER    2u /**< after the current element */
#define SG_INSERT_CHILD    3u /**< at the end of the current element's child list */
/** @} */

/** @} */

/** @defgroup sg_documents Documents
 * @brief Opening, parsing, creating, saving and releasing documents; cursors.
 *
 * A cursor returned here is released with sgCloseXML (which writes a changed
 * document back to its file) or sgDeleteXML (which never writes). File names:
 * the W functions take UTF-16, the A functions the ANSI code page.
 * @{ */

/** New empty document for `fileName` (may be null: never written back) with
 * encoding `encoding`; withDecl != 0 adds an XML declaration and is stored as
 * the XML flag. Returns a cursor to close, or null when memory runs out. */
SG_API SG_CURSOR SG_CALL sgCreateXMLW(const SG_WCHAR *fileName, uint32_t encoding, uint32_t withDecl);
/** @copydoc sgCreateXMLW */
SG_API SG_CURSOR SG_CALL sgCreateXMLA(const char *fileName, uint32_t encoding, uint32_t withDecl);
/** Reads and parses a whole file. Returns a cursor on its first top-level
 * node, or null if the file cannot be read or memory runs out. */
SG_API SG_CURSOR SG_CALL sgOpenXMLW(const SG_WCHAR *fileName);
/** @copydoc sgOpenXMLW */
SG_API SG_CURSOR SG_CALL sgOpenXMLA(const char *fileName);
/** Parses a text in memory (length 0xFFFFFFFF or any value with the top bit
 * set: up to the terminator). The document has no file name. Null on failure. */
SG_API SG_CURSOR SG_CALL sgParseXMLW(const SG_WCHAR *text, uint32_t length);
/** @copydoc sgParseXMLW */
SG_API SG_CURSOR SG_CALL sgParseXMLA(const char *text, uint32_t length);
/** A second cursor on the same document at the same position, without notes.
 * Null when memory runs out or the cursor has no document. */
SG_API SG_CURSOR SG_CALL sgDupXML(SG_CURSOR cursor);
/** Releases the cursor; the last holder of a changed document writes it back
 * to its file. The handle is invalid afterwards. */
SG_API void SG_CALL sgCloseXML(SG_CURSOR cursor);
/** Releases the cursor (null allowed) and forbids any later write-back of its
 * document by any holder. */
SG_API void SG_CALL sgDeleteXML(SG_CURSOR cursor);
/** Writes a changed document to its own file and clears the update flag.
 * 1 if a write was attempted (even one that failed), 0 if nothing to do. */
SG_API int32_t SG_CALL sgFlushXML(SG_CURSOR cursor);
/** Writes the whole document to `fileName` in code page `encoding`; flags and
 * file name of the document stay. 1 written, 0 the file could not be created
 * or the code page cannot be converted to (an existing file is then kept). */
SG_API int32_t SG_CALL sgSaveAsW(SG_CURSOR cursor, const SG_WCHAR *fileName, uint32_t encoding);
/** @copydoc sgSaveAsW */
SG_API int32_t SG_CALL sgSaveAsA(SG_CURSOR cursor, const char *fileName, uint32_t encoding);
/** The decoded source text the document was parsed from, or null. Valid until
 * the document is destroyed. */
SG_API const SG_WCHAR *SG_CALL sgGetSrcXML(SG_CURSOR cursor);
/** Pointer into the source text at the current element's start tag; its length
 * in UTF-16 units goes to *length (required). Null if no element is selected
 * or there is no source. */
SG_API const SG_WCHAR *SG_CALL sgGetTagSrc(SG_CURSOR cursor, uint32_t *length);
/** Writes the current node's NodeId to *id (may be null). 1, or 0 without
 * document. With no element selected the list head's id is given. */
SG_API int32_t SG_CALL sgGetNodeID(SG_CURSOR cursor, uint32_t *id);
/** The document's encoding code, or 0 without document. */
SG_API uint32_t SG_CALL sgGetEncoding(SG_CURSOR cursor);
/** The XML flag as stored (writer adds line breaks and tabs when non-zero). */
SG_API uint32_t SG_CALL sgGetXMLFlag(SG_CURSOR cursor);
/** Stores the XML flag unchanged. 1, or 0 without document. */
SG_API int32_t SG_CALL sgSetXMLFlag(SG_CURSOR cursor, uint32_t value);
/** The update flag (set by every edit, cleared by sgFlushXML). */
SG_API uint32_t SG_CALL sgGetUpdateFlag(SG_CURSOR cursor);
/** Stores the update flag unchanged. 1, or 0 without document. */
SG_API int32_t SG_CALL sgSetUpdateFlag(SG_CURSOR cursor, uint32_t value);
/** Library version: 0x00000202. */
SG_API uint32_t SG_CALL Version(void);

/** @} */

/** @defgroup sg_fields Fields
 * @brief The current element's name, inner, after and inner texts.
 *
 * Getters return text owned by the node, valid until that field changes or
 * the node is destroyed; null if absent or no element is selected. The W
 * forms return UTF-16; the A forms a cached narrow copy in the system code
 * page, and the A setters take text in that code page.
 * @{ */

/** The element's name, owned by the node; null if no element is selected. */
SG_API const SG_WCHAR *SG_CALL sgGetNameW(SG_CURSOR cursor);
/** @copydoc sgGetNameW */
SG_API const char *SG_CALL sgGetNameA(SG_CURSOR cursor);
/** Text between the start tag and the first child or end tag. */
SG_API const SG_WCHAR *SG_CALL sgGetInnerStrW(SG_CURSOR cursor);
/** @copydoc sgGetInnerStrW */
SG_API const char *SG_CALL sgGetInnerStrA(SG_CURSOR cursor);
/** Sets the inner text (null: absent; negative length: whole text). Turns a
 * plain, void or empty-tag element into one with an end tag. Does not set the
 * update flag. 1, or 0 when no element is selected or memory runs out. */
SG_API int32_t SG_CALL sgSetInnerStrW(SG_CURSOR cursor, const SG_WCHAR *text, int32_t length);
/** @copydoc sgSetInnerStrW */
SG_API int32_t SG_CALL sgSetInnerStrA(SG_CURSOR cursor, const char *text, int32_t length);
/** Text after the element's end up to the next tag. */
SG_API const SG_WCHAR *SG_CALL sgGetAfterStrW(SG_CURSOR cursor);
/** @copydoc sgGetAfterStrW */
SG_API const char *SG_CALL sgGetAfterStrA(SG_CURSOR cursor);
/** Sets the after text, as sgSetInnerStrW/A. Does not set the update flag. */
SG_API int32_t SG_CALL sgSetAfterStrW(SG_CURSOR cursor, const SG_WCHAR *text, int32_t length);
/** @copydoc sgSetAfterStrW */
SG_API int32_t SG_CALL sgSetAfterStrA(SG_CURSOR cursor, const char *text, int32_t length);
/** The element's inner text with the inner and after texts of all its
 * descendants in document order (no markup, no comment text). Owned by the
 * cursor: valid until the next sgGetInnerTextW on it (the A form: until its
 * next successful call) or until the cursor is released. Null on failure. */
SG_API const SG_WCHAR *SG_CALL sgGetInnerTextW(SG_CURSOR cursor);
/** @copydoc sgGetInnerTextW */
SG_API const char *SG_CALL sgGetInnerTextA(SG_CURSOR cursor);

/** @} */

/** @defgroup sg_navigation Navigation
 * @brief Moving a cursor and asking where it stands.
 *
 * A cursor stands in a list (the base list or an element's child list) on an
 * element or on the list head (no element selected).
 * @{ */

/** Moves by an SG_MOVE_* code. 1 when an element (or, for BASE, INTO and
 * LIST_HEAD, a list head) was reached; codes BASE_FIRST, FIRST, PREV, NEXT
 * and LAST move to the list head even when they return 0. */
SG_API int32_t SG_CALL sgMoveTo(SG_CURSOR cursor, uint32_t code);
/** Moves to the element with NodeId `id` below the base. 1 found, 0 not. */
SG_API int32_t SG_CALL sgSeek(SG_CURSOR cursor, uint32_t id);
/** Depth of the current node below the base (top level 0), or 0xFFFFFFFF. */
SG_API uint32_t SG_CALL sgGetLevel(SG_CURSOR cursor);
/** Climbs to the ancestor at `level`. 1 done, 0 refused, 0xFFFFFFFF no node. */
SG_API uint32_t SG_CALL sgSetLevel(SG_CURSOR cursor, int32_t level);
/** 0-based position in the list, or 0xFFFFFFFF at a list head. */
SG_API uint32_t SG_CALL sgGetIndex(SG_CURSOR cursor);
/** Selects the element at `index` of the current list. 1 done, 0 refused,
 * 0xFFFFFFFF no current node. */
SG_API uint32_t SG_CALL sgSetIndex(SG_CURSOR cursor, uint32_t index);
/** Number of elements in the current element's child list (0 if none). */
SG_API uint32_t SG_CALL sgGetChildCount(SG_CURSOR cursor);
/** The current element's tag number in the source, or 0xFFFFFFFF. */
SG_API uint32_t SG_CALL sgGetTagCount(SG_CURSOR cursor);
/** Number of same-named elements before the current one in document order
 * below the base, or 0xFFFFFFFF. */
SG_API uint32_t SG_CALL sgTagIndex(SG_CURSOR cursor);
/** 1 when no element is selected (or no base), 0 otherwise. */
SG_API int32_t SG_CALL sgIsEmptyList(SG_CURSOR cursor);
/** Source position (UTF-16 units) of the current element: selector 0 the '<'
 * of its start tag, 1 behind the start tag, 2 behind the whole element.
 * 0xFFFFFFFF for any other selector or when no element is selected. */
SG_API uint32_t SG_CALL sgGetTagPos(SG_CURSOR cursor, uint32_t selector);
/** flag != 0: narrow the base to the current element's children; flag 0:
 * widen back to the document root. 1 done, 0 refused. */
SG_API int32_t SG_CALL sgSetBase(SG_CURSOR cursor, int32_t flag);
/** Walks the tree below the base, calling `proc` on entering and leaving each
 * element. 1 completed or stopped, 0 aborted, empty, or no base. */
SG_API int32_t SG_CALL sgScanTree(SG_CURSOR cursor, SG_SCAN_PROC proc, intptr_t user);

/** @} */

/** @defgroup sg_search Search
 * @brief Finding elements by name or by a path of names.
 *
 * Names compare case-insensitively, whole names only; the PATH modes take a
 * string list of names (each zero-terminated, ended by an empty name). The W
 * functions take UTF-16 names, the A functions names in the system code page.
 * Nothing returned is owned by the caller.
 * @{ */

/** Finds an element by name (or, for the PATH modes, by a string list of
 * names) with SG_SEARCH_* `mode`. 1 found (the element becomes current),
 * 0 not found or a null cursor. `name` must not be null. */
SG_API int32_t SG_CALL sgSearchW(SG_CURSOR cursor, const SG_WCHAR *name, uint32_t mode);
/** @copydoc sgSearchW */
SG_API int32_t SG_CALL sgSearchA(SG_CURSOR cursor, const char *name, uint32_t mode);
/** As sgSearchW/A, passing over `index` matches first (negative: 0). 1 found,
 * 0 not found or a null cursor. `name` must not be null. */
SG_API int32_t SG_CALL sgSearchIndexW(SG_CURSOR cursor, const SG_WCHAR *name, uint32_t mode, int32_t index);
/** @copydoc sgSearchIndexW */
SG_API int32_t SG_CALL sgSearchIndexA(SG_CURSOR cursor, const char *name, uint32_t mode, int32_t index);

/** @} */

/** @defgroup sg_attributes Attributes
 * @brief Reading, setting and deleting the current element's attributes.
 *
 * Setters find the first attribute of `name` (case-insensitive) and set its
 * value double-quoted, or append a new attribute (always for a null or empty
 * name). A null value keeps an existing value. They set the update flag.
 * 1 done; 0 no element selected or no memory. Returned strings belong to the
 * attribute and live until it changes or goes; the caller frees nothing. The
 * W functions take and return UTF-16, the A functions text in the system
 * code page (A getters return a cached narrow copy).
 * @{ */

/** Sets attribute `name` to `value`, or appends it, and sets the update flag.
 * 1 done; 0 no element selected, a null cursor or no memory. */
SG_API int32_t SG_CALL sgSetAttribW(SG_CURSOR cursor, const SG_WCHAR *name, const SG_WCHAR *value);
/** @copydoc sgSetAttribW */
SG_API int32_t SG_CALL sgSetAttribA(SG_CURSOR cursor, const char *name, const char *value);
/** As sgSetAttribW/A; a null cursor gives 0. */
SG_API int32_t SG_CALL sgSetAttribStringW(SG_CURSOR cursor, const SG_WCHAR *name, const SG_WCHAR *value);
/** @copydoc sgSetAttribStringW */
SG_API int32_t SG_CALL sgSetAttribStringA(SG_CURSOR cursor, const char *name, const char *value);
/** Sets the value formatted as a signed decimal (`"%d"`). */
SG_API int32_t SG_CALL sgSetAttribIntW(SG_CURSOR cursor, const SG_WCHAR *name, uint32_t value);
/** @copydoc sgSetAttribIntW */
SG_API int32_t SG_CALL sgSetAttribIntA(SG_CURSOR cursor, const char *name, uint32_t value);
/** Sets the value formatted as lower-case hexadecimal without prefix (`"%x"`). */
SG_API int32_t SG_CALL sgSetAttribDWordW(SG_CURSOR cursor, const SG_WCHAR *name, uint32_t value);
/** @copydoc sgSetAttribDWordW */
SG_API int32_t SG_CALL sgSetAttribDWordA(SG_CURSOR cursor, const char *name, uint32_t value);
/** Sets the value formatted by wsprintf rules (at most 1024 characters). */
SG_API int32_t SG_CALL sgAttribPrintFW(SG_CURSOR cursor, const SG_WCHAR *name, const SG_WCHAR *format, ...);
/** @copydoc sgAttribPrintFW */
SG_API int32_t SG_CALL sgAttribPrintFA(SG_CURSOR cursor, const char *name, const char *format, ...);
/** The value, or null if absent, valueless or no element selected. */
SG_API const SG_WCHAR *SG_CALL sgGetAttribW(SG_CURSOR cursor, const SG_WCHAR *name);
/** @copydoc sgGetAttribW */
SG_API const char *SG_CALL sgGetAttribA(SG_CURSOR cursor, const char *name);
/** The value, or `defaultValue` when there is none (or the cursor is null). */
SG_API const SG_WCHAR *SG_CALL sgGetAttribStringW(SG_CURSOR cursor, const SG_WCHAR *name, const SG_WCHAR *defaultValue);
/** @copydoc sgGetAttribStringW */
SG_API const char *SG_CALL sgGetAttribStringA(SG_CURSOR cursor, const char *name, const char *defaultValue);
/** The value parsed as a signed decimal (optional sign, digits, wrapping), or
 * `defaultValue` when missing or not a number. */
SG_API uint32_t SG_CALL sgGetAttribIntW(SG_CURSOR cursor, const SG_WCHAR *name, uint32_t defaultValue);
/** @copydoc sgGetAttribIntW */
SG_API uint32_t SG_CALL sgGetAttribIntA(SG_CURSOR cursor, const char *name, uint32_t defaultValue);
/** The value parsed as hexadecimal digits (no prefix), or `defaultValue`. */
SG_API uint32_t SG_CALL sgGetAttribDWordW(SG_CURSOR cursor, const SG_WCHAR *name, uint32_t defaultValue);
/** @copydoc sgGetAttribDWordW */
SG_API uint32_t SG_CALL sgGetAttribDWordA(SG_CURSOR cursor, const char *name, uint32_t defaultValue);
/** 1 if an attribute of that name exists (with or without value). */
SG_API int32_t SG_CALL sgDoesAttribExistW(SG_CURSOR cursor, const SG_WCHAR *name);
/** @copydoc sgDoesAttribExistW */
SG_API int32_t SG_CALL sgDoesAttribExistA(SG_CURSOR cursor, const char *name);
/** Deletes the first attribute of that name and sets the update flag. 1 / 0. */
SG_API int32_t SG_CALL sgDeleteAttribW(SG_CURSOR cursor, const SG_WCHAR *name);
/** @copydoc sgDeleteAttribW */
SG_API int32_t SG_CALL sgDeleteAttribA(SG_CURSOR cursor, const char *name);
/** Number of attributes, 0 if no element is selected. */
SG_API uint32_t SG_CALL sgGetAttribCount(SG_CURSOR cursor);
/** Name or value of the attribute at 0-based `index`, or null. */
SG_API const SG_WCHAR *SG_CALL sgGetAttribNameW(SG_CURSOR cursor, int32_t index);
/** @copydoc sgGetAttribNameW */
SG_API const char *SG_CALL sgGetAttribNameA(SG_CURSOR cursor, int32_t index);
/** @copydoc sgGetAttribNameA */
SG_API const SG_WCHAR *SG_CALL sgGetAttribValueW(SG_CURSOR cursor, int32_t index);
/** @copydoc sgGetAttribValueW */
SG_API const char *SG_CALL sgGetAttribValueA(SG_CURSOR cursor, int32_t index);
/** Source position of the attribute's name (selector 0) or value (1), or
 * 0xFFFFFFFF when unknown, not found, or another selector. */
SG_API uint32_t SG_CALL sgGetAttribPosW(SG_CURSOR cursor, const SG_WCHAR *name, uint32_t selector);
/** @copydoc sgGetAttribPosW */
SG_API uint32_t SG_CALL sgGetAttribPosA(SG_CURSOR cursor, const char *name, uint32_t selector);

/** @} */

/** @defgroup sg_insertion Insertion
 * @brief New elements beside, after, before or below the current one.
 *
 * Each makes a new element (name may be null: a nameless element), gives it
 * an empty child list when childList != 0, makes it current and sets the
 * update flag. 1 done, 0 refused, a null cursor or no memory (cursor
 * unchanged). The element belongs to the document. The W functions take
 * UTF-16 names, the A functions names in the system code page.
 * @{ */

/** At the end of the cursor's list, kind SG_KIND_PLAIN. */
SG_API int32_t SG_CALL sgAddNodeW(SG_CURSOR cursor, const SG_WCHAR *name, uint32_t childList);
/** @copydoc sgAddNodeW */
SG_API int32_t SG_CALL sgAddNodeA(SG_CURSOR cursor, const char *name, uint32_t childList);
/** At the end of the cursor's list with the given SG_KIND_* kind. */
SG_API int32_t SG_CALL sgAddNode2W(SG_CURSOR cursor, const SG_WCHAR *name, uint32_t childList, uint32_t kind);
/** @copydoc sgAddNode2W */
SG_API int32_t SG_CALL sgAddNode2A(SG_CURSOR cursor, const char *name, uint32_t childList, uint32_t kind);
/** Before the current element (at the end of the list when none selected). */
SG_API int32_t SG_CALL sgInsertNodeBeforeW(SG_CURSOR cursor, const SG_WCHAR *name, uint32_t childList);
/** @copydoc sgInsertNodeBeforeW */
SG_API int32_t SG_CALL sgInsertNodeBeforeA(SG_CURSOR cursor, const char *name, uint32_t childList);
/** After the current element (first in the list when none selected). */
SG_API int32_t SG_CALL sgInsertNodeAfterW(SG_CURSOR cursor, const SG_WCHAR *name, uint32_t childList);
/** @copydoc sgInsertNodeAfterW */
SG_API int32_t SG_CALL sgInsertNodeAfterA(SG_CURSOR cursor, const char *name, uint32_t childList);
/** As the last child of the current element; the cursor moves into its list. */
SG_API int32_t SG_CALL sgAddChildNodeW(SG_CURSOR cursor, const SG_WCHAR *name, uint32_t childList);
/** @copydoc sgAddChildNodeW */
SG_API int32_t SG_CALL sgAddChildNodeA(SG_CURSOR cursor, const char *name, uint32_t childList);
/** Finds or creates each name of the string list `path` one level deeper from
 * the cursor's list; enter != 0 leaves the cursor inside the last element.
 * Sets the update flag only when something was created. */
SG_API int32_t SG_CALL sgAddNodePathW(SG_CURSOR cursor, const SG_WCHAR *path, uint32_t enter);
/** @copydoc sgAddNodePathW */
SG_API int32_t SG_CALL sgAddNodePathA(SG_CURSOR cursor, const char *path, uint32_t enter);

/** @} */

/** @defgroup sg_tree_edits Tree edits
 * @brief Deleting, moving and copying elements and documents.
 * @{ */

/** Deletes the current element with its subtree; the cursor goes to the next
 * element, else the previous, else the owner (whose list becomes the
 * cursor's list, even when the emptied list was the cursor's base; the base
 * itself is left as it was, until a delete takes the subtree that holds it:
 * then the base becomes the list that held the deleted element).
 * 1 done, 0 none selected. */
SG_API int32_t SG_CALL sgDeleteNode(SG_CURSOR cursor);
/** Moves the current element to the start (SG_MOVENODE_FIRST) or end
 * (SG_MOVENODE_LAST) of its list. 1 done, 0 refused. */
SG_API int32_t SG_CALL sgMoveNode(SG_CURSOR cursor, uint32_t direction);
/** Inserts a copy of `source`'s current element (or of every element of its
 * list when it stands at a list head) at SG_INSERT_* `place`. 1 / 0. */
SG_API int32_t SG_CALL sgInsertTree(SG_CURSOR cursor, SG_CURSOR source, uint32_t place);
/** A new cursor on a copy of the whole document (never written back), or null. */
SG_API SG_CURSOR SG_CALL sgCopyTree(SG_CURSOR cursor);

/** @} */

/** @defgroup sg_rendering Rendering
 * @brief An element as markup, in a block the caller frees.
 *
 * The one result a caller frees: GlobalUnlock(GlobalHandle(p)) then
 * GlobalFree(GlobalHandle(p)). Outside Windows the library exports these
 * three calls for that purpose only (they are the system's on Windows), and
 * its own calls never reach a program's functions of the same names.
 * @{ */

/** The current element with its subtree and after text (or every element of
 * the list at a list head) as a string in a global-memory block that the
 * caller frees: GlobalUnlock(GlobalHandle(p)); GlobalFree(GlobalHandle(p)).
 * Null when memory runs out. */
SG_API SG_WCHAR *SG_CALL sgGetOuterXMLW(SG_CURSOR cursor);
/** The same converted to `codePage` (0: system ANSI code page). */
SG_API char *SG_CALL sgGetOuterXMLA(SG_CURSOR cursor, uint32_t codePage);

/** @} */

/** @defgroup sg_notes Notes
 * @brief Texts built from pieces, with attributes and references to elements.
 *
 * Notes belong to their cursor and die with it; handles are invalid after
 * sgDeleteNote or the cursor's release. Texts returned belong to the note. A
 * null note gives null or 0. The W functions take and return UTF-16, the A
 * functions text in the system code page.
 * @{ */

/** Appends a new note (name may be null). Null when memory runs out. */
SG_API SG_NOTE SG_CALL sgCreateNoteW(SG_CURSOR cursor, const SG_WCHAR *name);
/** @copydoc sgCreateNoteW */
SG_API SG_NOTE SG_CALL sgCreateNoteA(SG_CURSOR cursor, const char *name);
/** Number of notes of the cursor. */
SG_API uint32_t SG_CALL sgNoteGetCount(SG_CURSOR cursor);
/** Note at `index` counted from the oldest, or null. */
SG_API SG_NOTE SG_CALL sgNoteGetByIndex(SG_CURSOR cursor, uint32_t index);
/** Oldest note of that name (case-insensitive), or null. */
SG_API SG_NOTE SG_CALL sgNoteGetByNameW(SG_CURSOR cursor, const SG_WCHAR *name);
/** @copydoc sgNoteGetByNameW */
SG_API SG_NOTE SG_CALL sgNoteGetByNameA(SG_CURSOR cursor, const char *name);
/** Destroys a note (null allowed) with its pieces, attributes and references. */
SG_API void SG_CALL sgDeleteNote(SG_NOTE note);

/** Appends a piece of text (name and text may be null). 1, or 0 no memory. */
SG_API int32_t SG_CALL sgNoteAddStrW(SG_NOTE note, const SG_WCHAR *name, const SG_WCHAR *text);
/** @copydoc sgNoteAddStrW */
SG_API int32_t SG_CALL sgNoteAddStrA(SG_NOTE note, const char *name, const char *text);
/** Appends a piece that ends a line. */
SG_API int32_t SG_CALL sgNoteAddStrLnW(SG_NOTE note, const SG_WCHAR *name, const SG_WCHAR *text);
/** @copydoc sgNoteAddStrLnW */
SG_API int32_t SG_CALL sgNoteAddStrLnA(SG_NOTE note, const char *name, const char *text);
/** Appends a piece formatted by wsprintf rules (at most 1024 characters). */
SG_API int32_t SG_CALL sgNotePrintFW(SG_NOTE note, const SG_WCHAR *name, const SG_WCHAR *format, ...);
/** @copydoc sgNotePrintFW */
SG_API int32_t SG_CALL sgNotePrintFA(SG_NOTE note, const char *name, const char *format, ...);
/** All pieces joined (W: LF line ends; A: CR LF). Owned by the note, valid
 * until the next get-string call on it or its destruction. Null no memory. */
SG_API const SG_WCHAR *SG_CALL sgNoteGetStrW(SG_NOTE note);
/** @copydoc sgNoteGetStrW */
SG_API const char *SG_CALL sgNoteGetStrA(SG_NOTE note);
/** The pieces as a string list (zero-terminated lines ended by an empty one);
 * ownership as sgNoteGetStrW/A. */
SG_API const SG_WCHAR *SG_CALL sgNoteGetStrListW(SG_NOTE note);
/** @copydoc sgNoteGetStrListW */
SG_API const char *SG_CALL sgNoteGetStrListA(SG_NOTE note);
/** Start of the first piece of that name in the last built result (in its
 * units), or 0xFFFFFFFF. */
SG_API uint32_t SG_CALL sgNoteGetPosW(SG_NOTE note, const SG_WCHAR *name);
/** @copydoc sgNoteGetPosW */
SG_API uint32_t SG_CALL sgNoteGetPosA(SG_NOTE note, const char *name);
/** Sets (or creates) a note attribute; a null value keeps an existing one. */
SG_API int32_t SG_CALL sgNoteSetAttribW(SG_NOTE note, const SG_WCHAR *name, const SG_WCHAR *value);
/** @copydoc sgNoteSetAttribW */
SG_API int32_t SG_CALL sgNoteSetAttribA(SG_NOTE note, const char *name, const char *value);
/** Deletes the first note attribute of that name. 1 / 0. */
SG_API int32_t SG_CALL sgNoteDeleteAttribW(SG_NOTE note, const SG_WCHAR *name);
/** @copydoc sgNoteDeleteAttribW */
SG_API int32_t SG_CALL sgNoteDeleteAttribA(SG_NOTE note, const char *name);
/** The attribute's value (owned by the attribute), or null. */
SG_API const SG_WCHAR *SG_CALL sgNoteGetAttribW(SG_NOTE note, const SG_WCHAR *name);
/** @copydoc sgNoteGetAttribW */
SG_API const char *SG_CALL sgNoteGetAttribA(SG_NOTE note, const char *name);
/** 1 if the note has an attribute of that name. */
SG_API int32_t SG_CALL sgNoteDoesAttribExistW(SG_NOTE note, const SG_WCHAR *name);
/** @copydoc sgNoteDoesAttribExistW */
SG_API int32_t SG_CALL sgNoteDoesAttribExistA(SG_NOTE note, const char *name);

/** Makes the note's newest piece refer to `cursor`'s current node (in any
 * document; the reference keeps that document alive). 1, or 0 when the note
 * has no piece or memory runs out. */
SG_API int32_t SG_CALL sgNoteSetReferenceNode(SG_NOTE note, SG_CURSOR cursor);
/** A new cursor (to close) on the element referred to at `position` of the
 * last built result; `mode` 0 at, 1 nearest after, 2 nearest before, 3 at or
 * else next after, and past every piece the last one; bit 0x100 counts owner
 * pieces only. Null if none. */
SG_API SG_CURSOR SG_CALL sgNoteGetReferenceNode(SG_NOTE note, int32_t position, uint32_t mode);
/** Start of the span of `cursor`'s current element in the last built result,
 * or 0xFFFFFFFF. */
SG_API uint32_t SG_CALL sgNoteSearchReferenceNode(SG_NOTE note, SG_CURSOR cursor);

/** @} */

/** @defgroup sg_text Text conversion
 * @brief Code-page conversion, entity unescaping and escaping of texts.
 *
 * Results live in the calling thread's rings of 16 and are never freed by the
 * caller: copy a result before the 16th call after it. The W functions take
 * and return UTF-16, the A functions text in the system code page.
 * @{ */

/** UTF-16 to the system code page, held in the calling thread's ring of 16
 * results (its 17th result, or a document save on that thread, may free it).
 * Null only when memory runs out. */
SG_API const char *SG_CALL sgToMBStr(const SG_WCHAR *text);
/** System code page to UTF-16, held in the calling thread's ring of 16 results. */
SG_API const SG_WCHAR *SG_CALL sgToWCStr(const char *text);
/** The process-wide text-conversion flag word (shared by all threads). */
SG_API uint32_t SG_CALL sgGetTextConvFlag(void);
/** Bits in `mask` take the bits of `value`; returns the previous word. */
SG_API uint32_t SG_CALL sgSetTextConvFlag(uint32_t value, uint32_t mask);
/** Replaces \&nbsp; \&quot; \&amp; \&lt; \&gt; (any case) by their characters and
 * drops control characters (TAB, LF, CR kept with SG_TEXTCONV_KEEP_CONTROLS).
 * Result held in a ring of 16; null or empty input gives a constant "". */
SG_API const SG_WCHAR *SG_CALL sgToNormalStrTemp16W(const SG_WCHAR *text);
/** @copydoc sgToNormalStrTemp16W */
SG_API const char *SG_CALL sgToNormalStrTemp16A(const char *text);
/** Replaces space, '"', '&', '<' and '>' by entity references. Ring of 16. */
SG_API const SG_WCHAR *SG_CALL sgToQuoteStrTemp16W(const SG_WCHAR *text);
/** @copydoc sgToQuoteStrTemp16W */
SG_API const char *SG_CALL sgToQuoteStrTemp16A(const char *text);

/** @} */

/** @addtogroup sg_rendering
 * @{ */
#if !defined(_WIN32)
/* Outside Windows, the global-memory calls a caller needs to free the blocks
 * of sgGetOuterXMLW/A; exported for that alone. The library's own calls never
 * reach a program's functions of the same names. On Windows they are the
 * system's (kernel32). */
/** The handle of a block from sgGetOuterXMLW/A: `pointer` itself. */
SG_API void *GlobalHandle(const void *pointer);
/** Unlocks a block's handle: nothing to count outside Windows; 1, or 0 for null. */
SG_API int GlobalUnlock(void *handle);
/** Frees a block by its handle (null ignored); returns null. */
SG_API void *GlobalFree(void *handle);
#endif
/** @} */

#ifdef __cplusplus
}
#endif

#endif /* SPRIG_H */
