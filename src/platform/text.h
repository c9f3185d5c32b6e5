#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qova::platform {

/// Text is handled as 8-bit bytes in the system code page, which is UTF-8 here. Comparisons that
/// ignore case lower-case every letter, non-ASCII letters included (Ä and ä are equal); bytes
/// that are not valid UTF-8 stay as they are and compare exactly.
std::string lowerCase(std::string_view text);
std::string upperCase(std::string_view text);
bool equalsIgnoreCase(std::string_view a, std::string_view b);
/// Whether text begins with prefix, the first prefix.size() bytes compared as equalsIgnoreCase
/// does.
bool startsWithIgnoreCase(std::string_view text, std::string_view prefix);

/// A hash of a text that agrees with equalsIgnoreCase: texts equal without regard to case hash
/// alike, whatever their letters.
std::uint64_t hashIgnoreCase(std::string_view text);

/// FNV-1a over bytes: a hash that follows from the bytes alone, the same in every run and build,
/// for names derived from a text. A hash begun over one part continues over the next.
inline constexpr std::uint64_t kFnv1aStart = 14695981039346656037ull;
inline constexpr std::uint64_t fnv1aByte(std::uint64_t hash, unsigned char byte) {
    return (hash ^ byte) * 1099511628211ull;
}
std::uint64_t fnv1a(std::string_view bytes, std::uint64_t hash = kFnv1aStart);

/// A text without the white space (blanks, tabs, line breaks, form feeds) at either end.
std::string_view trimmed(std::string_view text);

/// A text without the UTF-8 byte-order mark an editor may put before it, as every reader of a
/// file or a page takes it.
std::string_view withoutByteOrderMark(std::string_view text);

/// Names and countries as shown and listed: at most kMaxShownCharacters whole characters of
/// them, so that a field of megabytes cannot freeze a list. The records that hold them are kept,
/// compared and stored whole.
inline constexpr std::size_t kMaxShownCharacters = 200;
std::string_view shownText(std::string_view text);
/// At most the first `bytes` bytes of a text, never ending inside a UTF-8 sequence.
std::string_view firstBytes(std::string_view text, std::size_t bytes);

/// Case rules for names that are ASCII by definition (markup, URL schemes, ProgIDs): only A to Z
/// fold, so that look-alike letters from elsewhere in Unicode never match.
inline char asciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c;
}
inline bool isAsciiLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
std::string asciiLowerCase(std::string_view text);
bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b);
bool startsWithIgnoringAsciiCase(std::string_view text, std::string_view prefix);

/// Appends a code point as UTF-8; the caller gives a valid one (not a surrogate, at most
/// U+10FFFF).
void appendUtf8(std::string& out, char32_t codePoint);

/// Where lines end. The program's own files and the pages it stores end a line at CR LF or at a
/// lone CR, and a lone LF is an ordinary character of the line. The files a user writes with an
/// editor (Config.txt, favorites.txt) end a line at a lone LF as well.
enum class LineEnds { CrLfOrCr, AnyBreak };

/// Reads a text line by line.
class LineReader {
  public:
    explicit LineReader(std::string_view text, LineEnds ends = LineEnds::CrLfOrCr)
        : rest_(text), ends_(ends) {}
    /// Gives the next line without its terminator; false at end of text.
    bool next(std::string_view& line);

  private:
    std::string_view rest_;
    LineEnds ends_;
    bool done_ = false;
    // The next CR and LF found so far, kept while still ahead: each kind is searched for once
    // however the two are mixed. Null once there is none left.
    const char* nextCr_ = nullptr;
    const char* nextLf_ = nullptr;
    bool searched_ = false;
};

std::vector<std::string> splitLines(std::string_view text, LineEnds ends = LineEnds::CrLfOrCr);

/// A text as a search compares it: lower case, accents and other marks dropped ("Österreich" and
/// "osterreich" fold alike), and the letters that carry their mark within them written as their
/// plain letters ("Łódź" as "lodz", "Æ" as "ae", "ß" as "ss"), for a plain substring search.
std::string foldedForSearch(std::string_view text);

/// A text a stream sends about itself (an Icecast title, a tag) as UTF-8 to show: kept where it
/// is UTF-8 already, read as Windows-1252 (Latin-1 and its quotes) where it is not, as stations
/// that predate UTF-8 send it. Control characters become spaces, runs of white space one space,
/// and the text is cut at about kMaxStreamTextBytes.
std::string textFromStream(std::string_view bytes);
inline constexpr std::size_t kMaxStreamTextBytes = 512;

/// Where each character of a UTF-8 text starts, in bytes; a byte that starts no valid sequence
/// counts as a character of its own.
std::vector<std::size_t> characterStarts(std::string_view text);

/// Turns every line break of a text (LF, CR LF or a lone CR) into CR LF.
std::string withCrLfLineBreaks(std::string_view text);

/// The pieces of a line split at every separator, numbered from 0, no trimming.
std::vector<std::string_view> splitFields(std::string_view line, char separator = '|');

/// Piece n of a line split at every separator; false when the line has fewer pieces.
bool fieldAt(std::string_view line, std::size_t n, std::string_view& field, char separator = '|');

/// Whether a line has at least n pieces when split at every separator.
bool hasFields(std::string_view line, std::size_t n, char separator = '|');

}  // namespace qova::platform
