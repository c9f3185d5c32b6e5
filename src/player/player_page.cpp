#include "player/player_page.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <utility>
#include <vector>

#include "platform/text.h"

namespace qova::player {
namespace {

using platform::appendUtf8;
using platform::asciiLower;
using platform::asciiLowerCase;
using platform::equalsIgnoringAsciiCase;
using platform::isAsciiLetter;
using platform::startsWithIgnoringAsciiCase;

constexpr char32_t kReplacementCharacter = 0xFFFD;
constexpr char32_t kLastCodePoint = 0x10FFFF;

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && isSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isSpace(text.back()))
        text.remove_suffix(1);
    return text;
}

struct NamedReference {
    std::string_view name;
    char32_t character;
};

// The references the program's own pages and hand-written player pages use.
constexpr std::array<NamedReference, 6> kNamedReferences = {{
    {"amp", U'&'},
    {"lt", U'<'},
    {"gt", U'>'},
    {"quot", U'"'},
    {"apos", U'\''},
    {"nbsp", 0xA0},
}};

int digitValue(char c, bool hex) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (hex && asciiLower(c) >= 'a' && asciiLower(c) <= 'f')
        return asciiLower(c) - 'a' + 10;
    return -1;
}

// Reads a reference at the start of `text` (just after its '&'); the number of bytes it takes,
// 0 when there is none.
std::size_t readReference(std::string_view text, std::string& out) {
    if (!text.empty() && text.front() == '#') {
        const bool hex = text.size() > 1 && asciiLower(text[1]) == 'x';
        std::size_t i = hex ? 2 : 1;
        const std::size_t firstDigit = i;
        std::uint32_t value = 0;
        for (int digit = 0; i < text.size() && (digit = digitValue(text[i], hex)) >= 0; ++i) {
            // Saturates, so that a long run of digits cannot wrap round to a valid character.
            value = std::min<std::uint32_t>(value * (hex ? 16 : 10) + digit, kLastCodePoint + 1);
        }
        if (i == firstDigit)
            return 0;
        const bool surrogate = value >= 0xD800 && value <= 0xDFFF;
        appendUtf8(out, (value == 0 || value > kLastCodePoint || surrogate)
                            ? kReplacementCharacter
                            : static_cast<char32_t>(value));
        return (i < text.size() && text[i] == ';') ? i + 1 : i;
    }
    for (const NamedReference& reference : kNamedReferences) {
        const std::size_t length = reference.name.size();
        if (text.size() > length && text[length] == ';' &&
            text.substr(0, length) == reference.name) {
            appendUtf8(out, reference.character);
            return length + 1;
        }
    }
    return 0;
}

struct Attribute {
    std::string name;
    std::string_view value;
};

struct Token {
    enum class Kind { Text, StartTag, EndTag };
    Kind kind = Kind::Text;
    std::string name;
    std::vector<Attribute> attributes;
    std::string_view text;

    // The raw value of an attribute; a repeated attribute counts as written first.
    std::optional<std::string_view> attribute(std::string_view attributeName) const {
        for (const Attribute& a : attributes) {
            if (a.name == attributeName)
                return a.value;
        }
        return std::nullopt;
    }
};

// Splits markup into text and tags the way a forgiving browser does: comments and declarations
// are skipped, a '<' that starts no tag is text, and the content of script, style, title and
// textarea is text up to their end tag.
class Tokenizer {
  public:
    explicit Tokenizer(std::string_view markup) : rest_(markup) {}

    bool next(Token& token) {
        token.attributes.clear();
        token.name.clear();
        while (!rest_.empty()) {
            if (!rawTextEnd_.empty())
                return readRawText(token);
            if (rest_.front() != '<' || rest_.size() < 2) {
                readText(token);
                return true;
            }
            const char second = rest_[1];
            if (rest_.substr(0, 4) == "<!--") {
                skipPast("-->", 4);
            } else if (second == '!' || second == '?') {
                skipPast(">", 2);
            } else if (second == '/') {
                if (readEndTag(token))
                    return true;
            } else if (isAsciiLetter(second)) {
                readStartTag(token);
                return true;
            } else {
                readText(token);
                return true;
            }
        }
        return false;
    }

  private:
    void skipPast(std::string_view end, std::size_t from) {
        const std::size_t found = rest_.find(end, from);
        rest_.remove_prefix(found == std::string_view::npos ? rest_.size() : found + end.size());
    }

    void readText(Token& token) {
        std::size_t end = 1;
        // Bounded by the text: every pass moves past one '<'.
        while ((end = rest_.find('<', end)) != std::string_view::npos) {
            if (end + 1 < rest_.size() && (isAsciiLetter(rest_[end + 1]) || rest_[end + 1] == '/' ||
                                           rest_[end + 1] == '!' || rest_[end + 1] == '?'))
                break;
            ++end;
        }
        if (end == std::string_view::npos)
            end = rest_.size();
        token.kind = Token::Kind::Text;
        token.text = rest_.substr(0, end);
        rest_.remove_prefix(end);
    }

    bool readRawText(Token& token) {
        const std::string endTag = "</" + rawTextEnd_;
        std::size_t end = 0;
        while ((end = rest_.find("</", end)) != std::string_view::npos &&
               !startsWithIgnoringAsciiCase(rest_.substr(end), endTag)) {
            end += 2;
        }
        if (end == std::string_view::npos)
            end = rest_.size();
        token.kind = Token::Kind::Text;
        token.text = rest_.substr(0, end);
        rest_.remove_prefix(end);
        rawTextEnd_.clear();
        return true;
    }

    std::string_view readName() {
        std::size_t end = 0;
        while (end < rest_.size() && !isSpace(rest_[end]) && rest_[end] != '/' && rest_[end] != '>')
            ++end;
        const std::string_view name = rest_.substr(0, end);
        rest_.remove_prefix(end);
        return name;
    }

    bool readEndTag(Token& token) {
        rest_.remove_prefix(2);
        token.kind = Token::Kind::EndTag;
        token.name = asciiLowerCase(readName());
        skipPast(">", 0);
        return !token.name.empty();
    }

    void skipSpaces() {
        while (!rest_.empty() && isSpace(rest_.front()))
            rest_.remove_prefix(1);
    }

    void readStartTag(Token& token) {
        rest_.remove_prefix(1);
        token.kind = Token::Kind::StartTag;
        token.name = asciiLowerCase(readName());
        while (true) {
            while (!rest_.empty() && (isSpace(rest_.front()) || rest_.front() == '/'))
                rest_.remove_prefix(1);
            if (rest_.empty())
                break;
            if (rest_.front() == '>') {
                rest_.remove_prefix(1);
                break;
            }
            readAttribute(token);
        }
        if (token.name == "script" || token.name == "style" || token.name == "title" ||
            token.name == "textarea")
            rawTextEnd_ = token.name;
    }

    void readAttribute(Token& token) {
        // A leading '=' belongs to the name, as browsers read it.
        std::size_t end = 1;
        while (end < rest_.size() && !isSpace(rest_[end]) && rest_[end] != '/' &&
               rest_[end] != '>' && rest_[end] != '=')
            ++end;
        Attribute attribute{asciiLowerCase(rest_.substr(0, end)), {}};
        rest_.remove_prefix(end);
        skipSpaces();
        if (!rest_.empty() && rest_.front() == '=') {
            rest_.remove_prefix(1);
            skipSpaces();
            attribute.value = readValue();
        }
        token.attributes.push_back(std::move(attribute));
    }

    std::string_view readValue() {
        if (!rest_.empty() && (rest_.front() == '"' || rest_.front() == '\'')) {
            const char quote = rest_.front();
            const std::size_t close = rest_.find(quote, 1);
            const std::size_t end = close == std::string_view::npos ? rest_.size() : close;
            const std::string_view value = rest_.substr(1, end - 1);
            rest_.remove_prefix(std::min(end + 1, rest_.size()));
            return value;
        }
        std::size_t end = 0;
        while (end < rest_.size() && !isSpace(rest_[end]) && rest_[end] != '>')
            ++end;
        const std::string_view value = rest_.substr(0, end);
        rest_.remove_prefix(end);
        return value;
    }

    std::string_view rest_;
    std::string rawTextEnd_;
};

std::optional<std::string> addressIn(std::optional<std::string_view> rawValue) {
    if (!rawValue)
        return std::nullopt;
    std::string address(trimmed(decodeCharacterReferences(*rawValue)));
    if (address.empty())
        return std::nullopt;
    return address;
}

// Parameter names that carry the stream address, best first.
constexpr std::array<std::string_view, 3> kAddressParameters = {"src", "url", "filename"};

std::size_t addressParameterRank(std::string_view name) {
    const std::string lowered = asciiLowerCase(name);
    return static_cast<std::size_t>(
        std::find(kAddressParameters.begin(), kAddressParameters.end(), lowered) -
        kAddressParameters.begin());
}

bool endsLine(std::string_view tag) {
    static constexpr std::array<std::string_view, 23> kBlockTags = {
        "address", "blockquote", "br", "center", "dd",    "div", "dl", "dt",
        "form",    "h1",         "h2", "h3",     "h4",    "h5",  "h6", "hr",
        "li",      "ol",         "p",  "pre",    "table", "tr",  "ul"};
    return std::find(kBlockTags.begin(), kBlockTags.end(), tag) != kBlockTags.end();
}

// Collects text with runs of white space as one space and lines ended where blocks end.
class TextCollector {
  public:
    void add(std::string_view text) {
        for (char c : decodeCharacterReferences(text)) {
            if (isSpace(c)) {
                pendingSpace_ = !line_.empty();
            } else {
                if (pendingSpace_)
                    line_ += ' ';
                pendingSpace_ = false;
                line_ += c;
            }
        }
    }
    void endLine(bool evenIfEmpty) {
        if (line_.empty() && !evenIfEmpty)
            return;
        lines_.push_back(std::exchange(line_, std::string()));
        pendingSpace_ = false;
    }
    std::string text() {
        endLine(false);
        while (!lines_.empty() && lines_.back().empty())
            lines_.pop_back();
        std::string joined;
        for (std::size_t i = 0; i < lines_.size(); ++i) {
            if (i > 0)
                joined += "\r\n";
            joined += lines_[i];
        }
        return joined;
    }

  private:
    std::vector<std::string> lines_;
    std::string line_;
    bool pendingSpace_ = false;
};

}  // namespace

std::string decodeCharacterReferences(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t start = 0;
    std::size_t amp = 0;
    while ((amp = text.find('&', start)) != std::string_view::npos) {
        out.append(text.substr(start, amp - start));
        const std::size_t taken = readReference(text.substr(amp + 1), out);
        if (taken == 0)
            out += '&';
        start = amp + 1 + taken;
    }
    out.append(text.substr(start));
    return out;
}

std::optional<std::string> embeddedPlayerAddress(std::string_view markup) {
    Tokenizer tokenizer(markup);
    Token token;
    bool seenObject = false;
    // Nesting inside the first object; parameters of objects nested in it are theirs, not its.
    int objectDepth = 0;
    std::optional<std::string> parameterAddress;
    std::size_t parameterRank = kAddressParameters.size();
    std::optional<std::string> embedAddress;

    while (tokenizer.next(token)) {
        if (token.kind == Token::Kind::StartTag) {
            if (token.name == "object") {
                if (!seenObject) {
                    seenObject = true;
                    objectDepth = 1;
                    if (auto data = addressIn(token.attribute("data")))
                        return data;
                } else if (objectDepth > 0) {
                    ++objectDepth;
                }
            } else if (token.name == "param" && objectDepth == 1) {
                const std::size_t rank = addressParameterRank(token.attribute("name").value_or(""));
                if (rank < parameterRank) {
                    if (auto value = addressIn(token.attribute("value"))) {
                        parameterAddress = std::move(value);
                        parameterRank = rank;
                    }
                }
            } else if (token.name == "embed" && !embedAddress) {
                embedAddress = addressIn(token.attribute("src"));
            }
        } else if (token.kind == Token::Kind::EndTag && token.name == "object" && objectDepth > 0) {
            if (--objectDepth == 0 && parameterAddress)
                return parameterAddress;
        }
    }
    return parameterAddress ? parameterAddress : embedAddress;
}

PageText pageText(std::string_view markup) {
    Tokenizer tokenizer(markup);
    Token token;
    TextCollector body;
    TextCollector title;
    std::string rawTextOf;
    bool titleSeen = false;
    int objectDepth = 0;

    while (tokenizer.next(token)) {
        switch (token.kind) {
            case Token::Kind::Text:
                if (rawTextOf == "title") {
                    if (!titleSeen)
                        title.add(token.text);
                    titleSeen = true;
                } else if (rawTextOf.empty() || rawTextOf == "textarea") {
                    if (objectDepth == 0)
                        body.add(token.text);
                }
                rawTextOf.clear();
                break;
            case Token::Kind::StartTag:
                if (token.name == "script" || token.name == "style" || token.name == "title" ||
                    token.name == "textarea")
                    rawTextOf = token.name;
                if (token.name == "object")
                    ++objectDepth;
                if (objectDepth == 0 && endsLine(token.name))
                    body.endLine(token.name == "br");
                break;
            case Token::Kind::EndTag:
                if (token.name == "object" && objectDepth > 0)
                    --objectDepth;
                if (objectDepth == 0 && endsLine(token.name))
                    body.endLine(false);
                break;
        }
    }
    return PageText{title.text(), body.text()};
}

bool isLocalMediaAddress(std::string_view address) {
    std::size_t i = 0;
    const auto isSchemeChar = [](char c) {
        return isAsciiLetter(c) || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
    };
    while (i < address.size() && isSchemeChar(address[i]))
        ++i;
    // A one-letter "scheme" is a drive letter.
    if (i < 2 || i >= address.size() || address[i] != ':' || !isAsciiLetter(address[0]))
        return true;
    return equalsIgnoringAsciiCase(address.substr(0, i), "file");
}

bool isShortAnalysisStream(std::string_view address, bool soundOnly) {
    if (startsWithIgnoringAsciiCase(address, "rtsp://") ||
        startsWithIgnoringAsciiCase(address, "rtsps://"))
        return true;
    if (!startsWithIgnoringAsciiCase(address, "http://") &&
        !startsWithIgnoringAsciiCase(address, "https://"))
        return false;
    std::string_view path = address.substr(address.find("//") + 2);
    const std::size_t slash = path.find('/');
    path = slash == std::string_view::npos ? std::string_view() : path.substr(slash);
    path = path.substr(0, path.find_first_of("?#"));
    const std::string_view last = path.substr(path.rfind('/') + 1);
    const std::size_t dot = last.rfind('.');
    if (dot == std::string_view::npos)
        return soundOnly;  // "/stream", "/live": how stations name their mounts, and TV too
    static constexpr std::string_view kSoundFormats[] = {"mp3",  "aac", "aacp", "ogg", "oga",
                                                         "opus", "m4a", "flac", "mpga"};
    const std::string_view extension = last.substr(dot + 1);
    for (const std::string_view format : kSoundFormats) {
        if (equalsIgnoringAsciiCase(extension, format))
            return true;
    }
    return false;
}

bool closesWithGoodbye(std::string_view address) {
    for (const std::string_view scheme : {"rtsp", "rtmp", "mms"}) {
        if (startsWithIgnoringAsciiCase(address, scheme))
            return true;
    }
    return false;
}

std::optional<std::string> refusedStreamAddress(std::string_view address, bool localFilesAllowed) {
    if (isLocalMediaAddress(address)) {
        if (localFilesAllowed)
            return std::nullopt;
        return std::string("files on this computer play only from a channel directory there");
    }
    static constexpr std::string_view kStreamSchemes[] = {"http",  "https", "rtsp", "rtsps", "rtmp",
                                                          "rtmps", "mms",   "mmsh", "mmst"};
    const std::string_view scheme = address.substr(0, address.find(':'));
    for (std::string_view known : kStreamSchemes) {
        if (equalsIgnoringAsciiCase(scheme, known))
            return std::nullopt;
    }
    return "\"" + asciiLowerCase(scheme) + ":\" is no address of a stream";
}

}  // namespace qova::player
