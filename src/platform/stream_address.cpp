#include "platform/stream_address.h"

#include "platform/text.h"

namespace qova::platform {
namespace {

constexpr std::string_view kMarker = "#qova-http=";

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    c = asciiLower(c);
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

}  // namespace

std::optional<std::string_view> allowedHeaderName(std::string_view name) {
    static constexpr std::string_view kAllowed[] = {"User-Agent", "Referer", "Origin", "Cookie"};
    if (equalsIgnoringAsciiCase(name, "Referrer"))
        return "Referer";
    for (const std::string_view allowed : kAllowed) {
        if (equalsIgnoringAsciiCase(name, allowed))
            return allowed;
    }
    return std::nullopt;
}

bool isSafeHeaderValue(std::string_view value) {
    for (const char c : value) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte < 0x20 && c != '\t') || byte == 0x7F)
            return false;
    }
    return true;
}

std::string percentEncoded(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (isAsciiLetter(c) || (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_' ||
            c == '~') {
            out += c;
        } else {
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 0xF];
        }
    }
    return out;
}

std::string percentDecoded(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            const int high = hexValue(text[i + 1]);
            const int low = hexValue(text[i + 2]);
            if (high >= 0 && low >= 0) {
                out += static_cast<char>(high * 16 + low);
                i += 2;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

std::string addressWithHeaders(std::string_view address, const std::vector<HttpHeader>& headers) {
    std::string encoded;
    for (const auto& [name, value] : headers) {
        const std::optional<std::string_view> allowed = allowedHeaderName(name);
        if (!allowed || !isSafeHeaderValue(value))
            continue;
        if (!encoded.empty())
            encoded += "&";
        encoded += percentEncoded(*allowed) + "=" + percentEncoded(value);
    }
    if (encoded.empty())
        return std::string(address);
    // The last three characters again, whole UTF-8 characters, as the address ends with them.
    const std::vector<std::size_t> starts = characterStarts(address);
    const std::size_t tail = starts.size() >= 3 ? starts[starts.size() - 3] : 0;
    return std::string(address) + std::string(kMarker) + encoded + ";" +
           std::string(address.substr(tail));
}

StreamAddress splitHeaders(std::string_view address) {
    const std::size_t marker = address.find(kMarker);
    if (marker == std::string_view::npos)
        return {std::string(address), {}};
    StreamAddress split{std::string(address.substr(0, marker)), {}};
    std::string_view rest = address.substr(marker + kMarker.size());
    rest = rest.substr(0, rest.rfind(';'));
    while (!rest.empty()) {
        const std::size_t amp = rest.find('&');
        const std::string_view pair = rest.substr(0, amp);
        const std::size_t eq = pair.find('=');
        if (eq != std::string_view::npos) {
            const std::optional<std::string_view> name =
                allowedHeaderName(percentDecoded(pair.substr(0, eq)));
            std::string value = percentDecoded(pair.substr(eq + 1));
            if (name && isSafeHeaderValue(value))
                split.headers.emplace_back(std::string(*name), std::move(value));
        }
        if (amp == std::string_view::npos)
            break;
        rest.remove_prefix(amp + 1);
    }
    return split;
}

}  // namespace qova::platform
