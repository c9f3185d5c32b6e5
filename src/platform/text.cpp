#include "platform/text.h"

#include <QChar>
#include <QString>
#include <algorithm>
#include <cstring>

namespace qova::platform {
namespace {

bool isAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

char asciiUpper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}

// Decodes one UTF-8 sequence at text[i]; gives its length, or 0 for a byte that starts no valid
// sequence, so that such bytes pass through unchanged.
std::size_t decodeUtf8(std::string_view text, std::size_t i, char32_t& cp) {
    const auto b0 = static_cast<unsigned char>(text[i]);
    std::size_t len = 0;
    char32_t min = 0;
    if (b0 < 0x80) {
        cp = b0;
        return 1;
    } else if ((b0 & 0xE0) == 0xC0) {
        len = 2, cp = b0 & 0x1F, min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        len = 3, cp = b0 & 0x0F, min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        len = 4, cp = b0 & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    if (i + len > text.size())
        return 0;
    for (std::size_t k = 1; k < len; ++k) {
        const auto b = static_cast<unsigned char>(text[i + k]);
        if ((b & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return len;
}

template <typename Map>
std::string mapCase(std::string_view text, char (*ascii)(char), Map map) {
    std::string out;
    out.reserve(text.size());
    if (isAscii(text)) {
        for (char c : text)
            out += ascii(c);
        return out;
    }
    for (std::size_t i = 0; i < text.size();) {
        char32_t cp = 0;
        const std::size_t len = decodeUtf8(text, i, cp);
        if (len == 0) {
            out += text[i++];
            continue;
        }
        appendUtf8(out, map(cp));
        i += len;
    }
    return out;
}

}  // namespace

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

std::string asciiLowerCase(std::string_view text) {
    std::string lowered(text);
    std::transform(lowered.begin(), lowered.end(), lowered.begin(), asciiLower);
    return lowered;
}

bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](char x, char y) { return asciiLower(x) == asciiLower(y); });
}

bool startsWithIgnoringAsciiCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           equalsIgnoringAsciiCase(text.substr(0, prefix.size()), prefix);
}

std::string lowerCase(std::string_view text) {
    return mapCase(text, asciiLower, [](char32_t cp) { return QChar::toLower(cp); });
}

std::string upperCase(std::string_view text) {
    return mapCase(text, asciiUpper, [](char32_t cp) { return QChar::toUpper(cp); });
}

bool equalsIgnoreCase(std::string_view a, std::string_view b) {
    // Most directory text is ASCII: compare it without building lower-cased copies.
    std::size_t i = 0;
    const std::size_t n = std::min(a.size(), b.size());
    for (; i < n; ++i) {
        const auto ca = static_cast<unsigned char>(a[i]);
        const auto cb = static_cast<unsigned char>(b[i]);
        if (ca >= 0x80 || cb >= 0x80)
            break;
        if (asciiLower(static_cast<char>(ca)) != asciiLower(static_cast<char>(cb)))
            return false;
    }
    if (i == n && a.size() == b.size())
        return true;
    if (i == n)
        return false;
    return lowerCase(a.substr(i)) == lowerCase(b.substr(i));
}

std::uint64_t hashIgnoreCase(std::string_view text) {
    // The hash of the lower-cased text, which equalsIgnoreCase compares; an ASCII start is
    // folded in place without a copy, the rest from its first other byte on as lowerCase does.
    std::uint64_t hash = kFnv1aStart;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (static_cast<unsigned char>(text[i]) >= 0x80)
            return fnv1a(lowerCase(text.substr(i)), hash);
        hash = fnv1aByte(hash, static_cast<unsigned char>(asciiLower(text[i])));
    }
    return hash;
}

std::uint64_t fnv1a(std::string_view bytes, std::uint64_t hash) {
    for (const char c : bytes)
        hash = fnv1aByte(hash, static_cast<unsigned char>(c));
    return hash;
}

std::string_view trimmed(std::string_view text) {
    const auto blank = [](char c) {
        return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
    };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    return text;
}

std::string_view withoutByteOrderMark(std::string_view text) {
    constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    if (text.starts_with(kByteOrderMark))
        text.remove_prefix(kByteOrderMark.size());
    return text;
}

std::string_view shownText(std::string_view text) {
    if (text.size() <= kMaxShownCharacters)
        return text;
    std::size_t end = 0;
    for (std::size_t n = 0; n < kMaxShownCharacters && end < text.size(); ++n) {
        char32_t cp = 0;
        end += std::max<std::size_t>(1, decodeUtf8(text, end, cp));
    }
    return text.substr(0, end);
}

std::string_view firstBytes(std::string_view text, std::size_t bytes) {
    if (text.size() <= bytes)
        return text;
    // Back to the start of the sequence the first byte left out continues, if it does.
    std::size_t end = bytes;
    while (end > 0 && bytes - end < 3 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    return text.substr(0, (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80 ? bytes : end);
}

bool startsWithIgnoreCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && equalsIgnoreCase(text.substr(0, prefix.size()), prefix);
}

bool LineReader::next(std::string_view& line) {
    if (done_)
        return false;
    if (rest_.empty()) {
        done_ = true;
        return false;
    }
    const void* cr = nullptr;
    if (ends_ == LineEnds::AnyBreak) {
        const char* begin = rest_.data();
        const auto ahead = [&](const char*& next, char c) {
            if (!searched_ || (next != nullptr && next < begin))
                next = static_cast<const char*>(std::memchr(begin, c, rest_.size()));
        };
        ahead(nextCr_, '\r');
        ahead(nextLf_, '\n');
        searched_ = true;
        cr = nextCr_ == nullptr   ? nextLf_
             : nextLf_ == nullptr ? nextCr_
                                  : std::min(nextCr_, nextLf_);
    } else {
        cr = std::memchr(rest_.data(), '\r', rest_.size());
    }
    if (cr == nullptr) {
        line = rest_;
        rest_ = {};
        done_ = true;
        return true;
    }
    const auto pos = static_cast<std::size_t>(static_cast<const char*>(cr) - rest_.data());
    line = rest_.substr(0, pos);
    std::size_t skip = pos + 1;
    if (rest_[pos] == '\r' && skip < rest_.size() && rest_[skip] == '\n')
        ++skip;
    rest_.remove_prefix(skip);
    // A terminator at the very end closes the last line; it opens no empty line after it.
    if (rest_.empty())
        done_ = true;
    return true;
}

std::vector<std::string> splitLines(std::string_view text, LineEnds ends) {
    std::vector<std::string> lines;
    LineReader reader(text, ends);
    std::string_view line;
    while (reader.next(line))
        lines.emplace_back(line);
    return lines;
}

std::string foldedForSearch(std::string_view text) {
    if (isAscii(text)) {
        std::string lowered(text);
        for (char& c : lowered)
            c = asciiLower(c);
        return lowered;
    }
    // Letters decomposed into base and marks, the marks dropped.
    const QString decomposed = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()))
                                   .normalized(QString::NormalizationForm_KD);
    QString folded;
    folded.reserve(decomposed.size());
    for (const QChar c : decomposed) {
        if (c.category() != QChar::Mark_NonSpacing && c.category() != QChar::Mark_Enclosing &&
            c.category() != QChar::Mark_SpacingCombining)
            folded += c;
    }
    folded = folded.toCaseFolded();
    // Letters whose mark is part of them have no decomposition to drop it from.
    struct Plain {
        char16_t letter;
        const char16_t* plain;
    };
    static constexpr Plain kPlainLetters[] = {{u'\u00F8', u"o"},
                                              {u'\u0142', u"l"},
                                              {u'\u0111', u"d"},
                                              {u'\u00F0', u"d"},
                                              {u'\u0127', u"h"},
                                              {u'\u0131', u"i"},
                                              {u'\u0167', u"t"},
                                              {u'\u014B', u"n"},
                                              {u'\u0138', u"k"},
                                              {u'\u0192', u"f"},
                                              {u'\u00E6', u"ae"},
                                              {u'\u0153', u"oe"},
                                              {u'\u00DF', u"ss"},
                                              {u'\u00FE', u"th"},
                                              // The middle dot of ŀ and of the Catalan l·l.
                                              {u'\u00B7', u""}};
    QString plain;
    plain.reserve(folded.size());
    for (const QChar c : folded) {
        const auto* found =
            c.unicode() < 0x80
                ? std::end(kPlainLetters)
                : std::find_if(std::begin(kPlainLetters), std::end(kPlainLetters),
                               [c](const Plain& p) { return p.letter == c.unicode(); });
        if (found == std::end(kPlainLetters))
            plain += c;
        else
            plain += QString::fromUtf16(found->plain);
    }
    return plain.toStdString();
}

std::string textFromStream(std::string_view bytes) {
    // Windows-1252's letters and signs at 0x80 to 0x9F; the rest of its upper half is Latin-1.
    static constexpr char16_t kWindows1252[32] = {
        0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};
    bytes = bytes.substr(0, 4 * kMaxStreamTextBytes);
    bool utf8 = true;
    for (std::size_t i = 0; i < bytes.size() && utf8;) {
        char32_t cp = 0;
        const std::size_t length = decodeUtf8(bytes, i, cp);
        utf8 = length != 0;
        i += length;
    }
    std::string out;
    bool space = true;  // drops leading blanks
    for (std::size_t i = 0; i < bytes.size() && out.size() < kMaxStreamTextBytes;) {
        char32_t cp = 0;
        if (utf8) {
            i += decodeUtf8(bytes, i, cp);
        } else {
            const auto byte = static_cast<unsigned char>(bytes[i++]);
            cp = byte >= 0x80 && byte < 0xA0 ? kWindows1252[byte - 0x80] : byte;
        }
        // C0 and C1 controls (a terminal's escapes among them) and line separators are blanks.
        if (cp < 0x20 || (cp >= 0x7F && cp < 0xA0) || cp == 0x2028 || cp == 0x2029 || cp == ' ') {
            if (!space)
                out += ' ';
            space = true;
            continue;
        }
        appendUtf8(out, cp);
        space = false;
    }
    while (!out.empty() && out.back() == ' ')
        out.pop_back();
    return out;
}

std::vector<std::size_t> characterStarts(std::string_view text) {
    std::vector<std::size_t> starts;
    starts.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        starts.push_back(i);
        char32_t cp = 0;
        i += std::max<std::size_t>(1, decodeUtf8(text, i, cp));
    }
    return starts;
}

std::string withCrLfLineBreaks(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 32 + 2);
    // Copies the runs between line breaks whole; directory pages run to tens of megabytes.
    const auto find = [&](char c, std::size_t from, std::size_t to) {
        const void* hit = std::memchr(text.data() + from, c, to - from);
        return hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - text.data()) : to;
    };
    std::size_t i = 0;
    std::size_t lf = find('\n', 0, text.size());
    while (i < text.size()) {
        // The next LF is looked for again only once passed, or CR-only texts would cost
        // a scan to their end for every line.
        if (lf < i)
            lf = find('\n', i, text.size());
        const std::size_t brk = find('\r', i, lf);
        out.append(text.substr(i, brk - i));
        if (brk == text.size())
            break;
        out += "\r\n";
        const bool crLf = text[brk] == '\r' && brk + 1 < text.size() && text[brk + 1] == '\n';
        i = brk + (crLf ? 2 : 1);
    }
    return out;
}

std::vector<std::string_view> splitFields(std::string_view line, char separator) {
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t pos = line.find(separator, start);
        if (pos == std::string_view::npos) {
            fields.push_back(line.substr(start));
            return fields;
        }
        fields.push_back(line.substr(start, pos - start));
        start = pos + 1;
    }
}

bool fieldAt(std::string_view line, std::size_t n, std::string_view& field, char separator) {
    std::size_t start = 0;
    for (std::size_t k = 0; k < n; ++k) {
        const std::size_t pos = line.find(separator, start);
        if (pos == std::string_view::npos)
            return false;
        start = pos + 1;
    }
    const std::size_t end = line.find(separator, start);
    field =
        line.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    return true;
}

bool hasFields(std::string_view line, std::size_t n, char separator) {
    if (n <= 1)
        return true;
    std::size_t found = 0;
    for (char c : line) {
        if (c == separator && ++found + 1 >= n)
            return true;
    }
    return false;
}

}  // namespace qova::platform
