#include "platform/character_references.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

#include "platform/text.h"

namespace qova::platform {
namespace {

constexpr char32_t kReplacementCharacter = 0xFFFD;
constexpr char32_t kLastCodePoint = 0x10FFFF;
// The longest name below ("thetasym", "alefsym") and a little room.
constexpr std::size_t kMaxNameLength = 10;

struct NamedReference {
    std::string_view name;
    char32_t character;
};

// HTML 4's Latin-1 names, for U+00A0 to U+00FF in order.
constexpr std::array<std::string_view, 96> kLatin1Names = {
    "nbsp",   "iexcl",  "cent",   "pound",  "curren", "yen",    "brvbar", "sect",   "uml",
    "copy",   "ordf",   "laquo",  "not",    "shy",    "reg",    "macr",   "deg",    "plusmn",
    "sup2",   "sup3",   "acute",  "micro",  "para",   "middot", "cedil",  "sup1",   "ordm",
    "raquo",  "frac14", "frac12", "frac34", "iquest", "Agrave", "Aacute", "Acirc",  "Atilde",
    "Auml",   "Aring",  "AElig",  "Ccedil", "Egrave", "Eacute", "Ecirc",  "Euml",   "Igrave",
    "Iacute", "Icirc",  "Iuml",   "ETH",    "Ntilde", "Ograve", "Oacute", "Ocirc",  "Otilde",
    "Ouml",   "times",  "Oslash", "Ugrave", "Uacute", "Ucirc",  "Uuml",   "Yacute", "THORN",
    "szlig",  "agrave", "aacute", "acirc",  "atilde", "auml",   "aring",  "aelig",  "ccedil",
    "egrave", "eacute", "ecirc",  "euml",   "igrave", "iacute", "icirc",  "iuml",   "eth",
    "ntilde", "ograve", "oacute", "ocirc",  "otilde", "ouml",   "divide", "oslash", "ugrave",
    "uacute", "ucirc",  "uuml",   "yacute", "thorn",  "yuml",
};

// HTML 4's other names, with XML's &apos;.
constexpr NamedReference kOtherNames[] = {
    {"quot", 34},     {"amp", 38},       {"apos", 39},      {"lt", 60},       {"gt", 62},
    {"OElig", 338},   {"oelig", 339},    {"Scaron", 352},   {"scaron", 353},  {"Yuml", 376},
    {"fnof", 402},    {"circ", 710},     {"tilde", 732},    {"Alpha", 913},   {"Beta", 914},
    {"Gamma", 915},   {"Delta", 916},    {"Epsilon", 917},  {"Zeta", 918},    {"Eta", 919},
    {"Theta", 920},   {"Iota", 921},     {"Kappa", 922},    {"Lambda", 923},  {"Mu", 924},
    {"Nu", 925},      {"Xi", 926},       {"Omicron", 927},  {"Pi", 928},      {"Rho", 929},
    {"Sigma", 931},   {"Tau", 932},      {"Upsilon", 933},  {"Phi", 934},     {"Chi", 935},
    {"Psi", 936},     {"Omega", 937},    {"alpha", 945},    {"beta", 946},    {"gamma", 947},
    {"delta", 948},   {"epsilon", 949},  {"zeta", 950},     {"eta", 951},     {"theta", 952},
    {"iota", 953},    {"kappa", 954},    {"lambda", 955},   {"mu", 956},      {"nu", 957},
    {"xi", 958},      {"omicron", 959},  {"pi", 960},       {"rho", 961},     {"sigmaf", 962},
    {"sigma", 963},   {"tau", 964},      {"upsilon", 965},  {"phi", 966},     {"chi", 967},
    {"psi", 968},     {"omega", 969},    {"thetasym", 977}, {"upsih", 978},   {"piv", 982},
    {"ensp", 8194},   {"emsp", 8195},    {"thinsp", 8201},  {"zwnj", 8204},   {"zwj", 8205},
    {"lrm", 8206},    {"rlm", 8207},     {"ndash", 8211},   {"mdash", 8212},  {"lsquo", 8216},
    {"rsquo", 8217},  {"sbquo", 8218},   {"ldquo", 8220},   {"rdquo", 8221},  {"bdquo", 8222},
    {"dagger", 8224}, {"Dagger", 8225},  {"bull", 8226},    {"hellip", 8230}, {"permil", 8240},
    {"prime", 8242},  {"Prime", 8243},   {"lsaquo", 8249},  {"rsaquo", 8250}, {"oline", 8254},
    {"frasl", 8260},  {"euro", 8364},    {"image", 8465},   {"weierp", 8472}, {"real", 8476},
    {"trade", 8482},  {"alefsym", 8501}, {"larr", 8592},    {"uarr", 8593},   {"rarr", 8594},
    {"darr", 8595},   {"harr", 8596},    {"crarr", 8629},   {"lArr", 8656},   {"uArr", 8657},
    {"rArr", 8658},   {"dArr", 8659},    {"hArr", 8660},    {"forall", 8704}, {"part", 8706},
    {"exist", 8707},  {"empty", 8709},   {"nabla", 8711},   {"isin", 8712},   {"notin", 8713},
    {"ni", 8715},     {"prod", 8719},    {"sum", 8721},     {"minus", 8722},  {"lowast", 8727},
    {"radic", 8730},  {"prop", 8733},    {"infin", 8734},   {"ang", 8736},    {"and", 8743},
    {"or", 8744},     {"cap", 8745},     {"cup", 8746},     {"int", 8747},    {"there4", 8756},
    {"sim", 8764},    {"cong", 8773},    {"asymp", 8776},   {"ne", 8800},     {"equiv", 8801},
    {"le", 8804},     {"ge", 8805},      {"sub", 8834},     {"sup", 8835},    {"nsub", 8836},
    {"sube", 8838},   {"supe", 8839},    {"oplus", 8853},   {"otimes", 8855}, {"perp", 8869},
    {"sdot", 8901},   {"lceil", 8968},   {"rceil", 8969},   {"lfloor", 8970}, {"rfloor", 8971},
    {"lang", 9001},   {"rang", 9002},    {"loz", 9674},     {"spades", 9824}, {"clubs", 9827},
    {"hearts", 9829}, {"diams", 9830},
};

// Every name, sorted once, so that a page of many references costs a binary search each.
const std::vector<NamedReference>& namedReferences() {
    static const std::vector<NamedReference> sorted = [] {
        std::vector<NamedReference> all(std::begin(kOtherNames), std::end(kOtherNames));
        for (std::size_t i = 0; i < kLatin1Names.size(); ++i)
            all.push_back({kLatin1Names[i], static_cast<char32_t>(0xA0 + i)});
        std::sort(all.begin(), all.end(),
                  [](const NamedReference& a, const NamedReference& b) { return a.name < b.name; });
        return all;
    }();
    return sorted;
}

int digitValue(char c, bool hex) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (hex && asciiLower(c) >= 'a' && asciiLower(c) <= 'f')
        return asciiLower(c) - 'a' + 10;
    return -1;
}

bool isNameCharacter(char c) {
    return isAsciiLetter(c) || (c >= '0' && c <= '9');
}

std::size_t readNumericReference(std::string_view text, std::string& out) {
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

}  // namespace

std::size_t readCharacterReference(std::string_view text, std::string& out) {
    if (!text.empty() && text.front() == '#')
        return readNumericReference(text, out);
    std::size_t length = 0;
    while (length < text.size() && length <= kMaxNameLength && isNameCharacter(text[length]))
        ++length;
    if (length == 0 || length >= text.size() || text[length] != ';')
        return 0;
    const std::string_view name = text.substr(0, length);
    const auto& all = namedReferences();
    const auto found = std::lower_bound(
        all.begin(), all.end(), name,
        [](const NamedReference& reference, std::string_view key) { return reference.name < key; });
    if (found == all.end() || found->name != name)
        return 0;
    appendUtf8(out, found->character);
    return length + 1;
}

std::string decodeCharacterReferences(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t start = 0;
    std::size_t amp = 0;
    while ((amp = text.find('&', start)) != std::string_view::npos) {
        out.append(text.substr(start, amp - start));
        const std::size_t taken = readCharacterReference(text.substr(amp + 1), out);
        if (taken == 0)
            out += '&';
        start = amp + 1 + taken;
    }
    out.append(text.substr(start));
    return out;
}

}  // namespace qova::platform
