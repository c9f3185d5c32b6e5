#include "platform/markup_reader.h"

#include <algorithm>
#include <array>
#include <utility>
#include <vector>

#include "platform/character_references.h"
#include "platform/text.h"

namespace qova::platform {
namespace {

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
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

bool isRawTextElement(std::string_view name) {
    return name == "script" || name == "style" || name == "title" || name == "textarea";
}

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
        if (isRawTextElement(token.name))
            rawTextEnd_ = token.name;
    }

    void readAttribute(Token& token) {
        // A leading '=' belongs to the name, as browsers read it.
        std::size_t end = 1;
        while (end < rest_.size() && !isSpace(rest_[end]) && rest_[end] != '/' &&
               rest_[end] != '>' && rest_[end] != '=')
            ++end;
        const std::string_view name = rest_.substr(0, end);
        rest_.remove_prefix(end);
        skipSpaces();
        std::string_view value;
        if (!rest_.empty() && rest_.front() == '=') {
            rest_.remove_prefix(1);
            skipSpaces();
            value = readValue();
        }
        if (token.attributes.size() < kMaxTagAttributes)
            token.attributes.push_back(Attribute{asciiLowerCase(name), value});
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

// Elements whose start and end begin a line of their own, as blocks of a laid-out page do.
bool endsLine(std::string_view tag) {
    static constexpr std::string_view kBlockTags[] = {
        "address",    "article", "aside",  "blockquote", "br", "caption", "center",
        "dd",         "details", "dir",    "div",        "dl", "dt",      "fieldset",
        "figcaption", "figure",  "footer", "form",       "h1", "h2",      "h3",
        "h4",         "h5",      "h6",     "header",     "hr", "legend",  "li",
        "main",       "menu",    "nav",    "ol",         "p",  "pre",     "section",
        "summary",    "table",   "td",     "th",         "tr", "ul"};
    return std::find(std::begin(kBlockTags), std::end(kBlockTags), tag) != std::end(kBlockTags);
}

// Gathers a page's text as it is read, straight into the one string it becomes: runs of white
// space as one space (or kept, within <pre>), lines ended where blocks end, and lines left empty
// at the end dropped. Its memory is the text's own.
class TextCollector {
  public:
    void add(std::string_view text, bool preformatted) {
        // Bounded by the text: every pass moves past one byte or one reference.
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text[i] != '&') {
                put(text[i], preformatted, i + 1 < text.size() ? text[i + 1] : '\0');
                continue;
            }
            reference_.clear();
            const std::size_t taken = readCharacterReference(text.substr(i + 1), reference_);
            if (taken == 0) {
                put('&', preformatted, '\0');
                continue;
            }
            for (const char c : reference_)
                put(c, preformatted, '\0');
            i += taken;
        }
    }

    void endLine(bool evenIfEmpty) {
        if (lineOpen_) {
            ++linesWritten_;
        } else if (evenIfEmpty) {
            ++emptyLines_;
        }
        lineOpen_ = false;
        pendingSpace_ = false;
    }

    /// A <pre> begins: a line break right after its tag is no part of its text.
    void startPreformatted() { skipNewline_ = true; }

    std::string take() {
        endLine(false);
        return std::move(out_);
    }

  private:
    void put(char c, bool preformatted, char nextChar) {
        if (preformatted && c == '\r' && nextChar == '\n')
            return;  // the LF that follows ends the line
        const bool skipNewline = std::exchange(skipNewline_, false);
        if (preformatted) {
            if (c == '\n' || c == '\r') {
                if (!skipNewline)
                    endLine(true);
                return;
            }
            write(c);
            return;
        }
        if (isSpace(c)) {
            pendingSpace_ = lineOpen_;
            return;
        }
        if (std::exchange(pendingSpace_, false))
            write(' ');
        write(c);
    }

    void write(char c) {
        if (!lineOpen_) {
            // The line breaks before it: one after the line written last, one for every empty
            // line between.
            const std::size_t breaks = emptyLines_ + (linesWritten_ > 0 ? 1 : 0);
            for (std::size_t i = 0; i < breaks; ++i)
                out_ += "\r\n";
            emptyLines_ = 0;
            lineOpen_ = true;
        }
        out_ += c;
    }

    std::string out_;
    std::string reference_;
    std::size_t linesWritten_ = 0;
    std::size_t emptyLines_ = 0;
    bool lineOpen_ = false;
    bool pendingSpace_ = false;
    bool skipNewline_ = false;
};

}  // namespace

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
    // Counted rather than kept as a stack: nesting costs nothing however deep a page goes.
    std::size_t objectDepth = 0;
    std::size_t preDepth = 0;

    while (tokenizer.next(token)) {
        switch (token.kind) {
            case Token::Kind::Text:
                if (rawTextOf == "title") {
                    if (!titleSeen)
                        title.add(token.text, false);
                    titleSeen = true;
                } else if (rawTextOf.empty() || rawTextOf == "textarea") {
                    if (objectDepth == 0)
                        body.add(token.text, preDepth > 0);
                }
                rawTextOf.clear();
                break;
            case Token::Kind::StartTag:
                if (isRawTextElement(token.name))
                    rawTextOf = token.name;
                if (token.name == "object")
                    ++objectDepth;
                if (objectDepth == 0 && endsLine(token.name))
                    body.endLine(token.name == "br");
                if (token.name == "pre") {
                    ++preDepth;
                    body.startPreformatted();
                }
                break;
            case Token::Kind::EndTag:
                if (token.name == "object" && objectDepth > 0)
                    --objectDepth;
                if (token.name == "pre" && preDepth > 0)
                    --preDepth;
                if (objectDepth == 0 && endsLine(token.name))
                    body.endLine(false);
                break;
        }
    }
    return PageText{title.take(), body.take()};
}

}  // namespace qova::platform
