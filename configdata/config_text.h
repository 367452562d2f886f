// The text form of a configuration tree, the form of every "config.txt": the one writer and the
// one parser of it.
//
// What the writer produces (and so what every program that reads our files sees):
//
//   EF BB BF CR LF                     a UTF-8 byte-order mark and an empty line
//   name<pad>value CR LF               a value; <pad> puts the value at column 40 while the
//                                      indentation and name leave room, else one space
//   <indent> CR LF                     before every container that is not its parent's first
//   name CR LF { CR LF ... } CR LF     a container, its children one level deeper
//
// Indentation is two spaces a level. Names are written in lower case, with bytes up to 0x20 and
// from 0x80 up as '_', cut to 1024 bytes. Values: ints "%d" and floats "%g" joined by ","; a
// KUID as "<kuid:%d:%d>", "<kuid2:%d:%d:%d>" or "<NULL>"; text as it is, between double
// quotes, with every '"' in it written as '\''; other values between quotes when they hold a
// blank or a line end. An empty value (an empty text, a name alone, raw bytes) is not written,
// not even its quotes. Text-like values (type 5) are written as text.
//
// What the parser reads, block by block (the file is the outermost block; a BOM at the start of
// any block marks its text, and the blocks inside it, as UTF-8):
//   - Blanks and line ends are skipped. A "}" or the end of the text ends the block.
//   - A name runs to a blank, a line end or "}"; it is lower-cased (A-Z) and kept to 511 bytes.
//   - After the name: "{" (on the same line or after line ends) opens a container; a line end,
//     "}" or the end means a name with no value (type 0); a double quote starts a text.
//   - A line holding only an optional '-', digits and '.' is a float when it has a '.', else an
//     int; a line of digits, '-', '.', ',' and blanks is a list of floats (split at spaces and
//     commas). Exponents as "%g" writes them ("1e-05": an 'e' after a digit, a sign, digits)
//     count as number characters and make a float.
//   - Anything else is text, to the line end or a "}"; "\n" in it becomes CR LF. A quoted text
//     runs to the next double quote, across lines (each line end stored as CR LF). A text that
//     begins "<kuid:", "<kuid2:" or "<NULL>" (any case) and names at most one KUID is a KUID.
//   - Text without a BOM is taken to be in the local code page and converted to UTF-8.
//   - A name given twice in one block keeps the last value, as the last child.
//   - Bytes after a NUL in a name or a text are dropped; a name that begins with a NUL is read
//     with its value and dropped.
//   - A number too large for its type is kept as the text it was written as.
// There is no comment syntax; malformed text yields whatever the rules above make of it.
#pragma once

#include <string>

#include "configdata/tdb_tag_ref.h"
#include "foundation/tstream.h"

// Appends the tree in the text form to `out`; nothing for an empty tree. False, with nothing
// appended, when the tree nests deeper than kMaxTagTreeDepth (the parser would not read it
// back).
bool AppendTagTreeText(const TDBTagRef& tree, std::string& out);
// Writes the tree in the text form to the stream. False when the tree nests too deep (nothing
// written) or the stream did not take every byte.
bool WriteTagTreeText(TStream& stream, const TDBTagRef& tree);

// What a parse noticed besides the tree, for the reader to tell its user.
struct TagTextNotes {
    // Containers still open where the text ended (their "}" never came; they are kept as read
    // up to there), and the line, counted from 1 where reading began, of the outermost one's
    // "{". Both 0 when every container was closed.
    size_t unclosed = 0;
    size_t unclosedLine = 0;
    // The line of the "{" that would have nested containers deeper than kMaxTagTreeDepth, where
    // reading stopped; 0 when none did.
    size_t tooDeepLine = 0;
};

// Empties `container`, then fills it from the stream's position: a new TDBContainerTag when
// anything was read, else it stays empty. `utf8` is false for a file (a BOM decides). Reading
// stops at the end of the stream or at a "}" that closes the outermost block, where the stream
// is left. Whatever was read stays in the tree. False when the stream is not open or cannot be
// read, or when containers nest deeper than kMaxTagTreeDepth: the rest of the text is then
// ignored and the reason logged. The nodes are made in an arena of the tree's own (see
// configdata/tag_arena.h).
bool ParseTagTreeText(TDBTagRef& container, TStream& stream, bool utf8,
                      TagTextNotes* notes = nullptr);
// The same over bytes in memory; `consumed` (when given) receives where reading stopped.
bool ParseTagTreeText(TDBTagRef& container, std::string_view text, bool utf8,
                      size_t* consumed = nullptr, TagTextNotes* notes = nullptr);
