#include "platform/address_policy.h"

#include <sys/stat.h>

#include <QString>
#include <QUrl>

#include "platform/text.h"

namespace qova::platform {
namespace {

constexpr std::string_view kStreamSchemes[] = {"http",  "https", "rtsp", "rtsps", "rtmp",
                                               "rtmps", "mms",   "mmsh", "mmst"};

bool isSchemeChar(char c) {
    return isAsciiLetter(c) || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
}

// The letters before an address's first ":" that make it a URL; empty for a path, and for a
// drive letter.
std::string_view schemeOf(std::string_view address) {
    std::size_t i = 0;
    while (i < address.size() && isSchemeChar(address[i]))
        ++i;
    if (i < 2 || i >= address.size() || address[i] != ':' || !isAsciiLetter(address[0]))
        return {};
    return address.substr(0, i);
}

std::string_view hostOf(std::string_view authority) {
    if (authority.starts_with('[')) {
        const std::size_t close = authority.find(']');
        return close == std::string_view::npos ? std::string_view()
                                               : authority.substr(0, close + 1);
    }
    return authority.substr(0, authority.find(':'));
}

}  // namespace

bool isLocalAddress(std::string_view address) {
    const std::string_view scheme = schemeOf(address);
    return scheme.empty() || equalsIgnoringAsciiCase(scheme, "file");
}

std::string authority(std::string_view address) {
    const std::string_view scheme = schemeOf(address);
    if (scheme.empty() || address.substr(scheme.size() + 1, 2) != "//")
        return {};
    std::string_view rest = address.substr(scheme.size() + 3);
    rest = rest.substr(0, rest.find_first_of("/?#"));
    if (const std::size_t at = rest.rfind('@'); at != std::string_view::npos)
        rest.remove_prefix(at + 1);
    return std::string(rest);
}

bool isWebAddress(std::string_view address) {
    const std::string_view scheme = schemeOf(address);
    return (equalsIgnoringAsciiCase(scheme, "http") || equalsIgnoringAsciiCase(scheme, "https")) &&
           !hostOf(authority(address)).empty();
}

std::optional<std::string> refusedStreamAddress(std::string_view address, bool localFilesAllowed) {
    if (isLocalAddress(address)) {
        if (localFilesAllowed)
            return std::nullopt;
        return std::string("files on this computer play only from a channel list that is there");
    }
    const std::string_view scheme = schemeOf(address);
    for (const std::string_view known : kStreamSchemes) {
        if (equalsIgnoringAsciiCase(scheme, known))
            return std::nullopt;
    }
    return "\"" + asciiLowerCase(scheme) + ":\" is no address of a stream";
}

bool mayFollow(std::string_view from, std::string_view to, bool redirect) {
    if (!isWebAddress(to))
        return false;
    return !redirect || !equalsIgnoringAsciiCase(schemeOf(from), "https") ||
           equalsIgnoringAsciiCase(schemeOf(to), "https");
}

bool sameHost(std::string_view a, std::string_view b) {
    const std::string authorityA = authority(a);
    const std::string authorityB = authority(b);
    const std::string_view hostA = hostOf(authorityA);
    return !hostA.empty() && equalsIgnoringAsciiCase(hostA, hostOf(authorityB));
}

std::string localFilePath(std::string_view address) {
    if (!address.empty() && address.front() == '/')
        return std::string(address);
    if (!equalsIgnoringAsciiCase(schemeOf(address), "file"))
        return {};
    return QUrl(QString::fromUtf8(address.data(), static_cast<qsizetype>(address.size())))
        .toLocalFile()
        .toStdString();
}

std::string resolvedAgainst(std::string_view address, std::string_view folder) {
    if (folder.empty() || address.empty() || address.front() == '/' || !schemeOf(address).empty())
        return std::string(address);
    std::string whole(folder);
    if (whole.back() != '/')
        whole += '/';
    return whole.append(address);
}

bool isRegularFile(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace qova::platform
