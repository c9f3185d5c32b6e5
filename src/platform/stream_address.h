#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qova::platform {

/// An HTTP header a channel's server asks for (a user agent, a referrer).
using HttpHeader = std::pair<std::string, std::string>;

/// The header a channel's line may ask for under this name, in its usual spelling: User-Agent,
/// Referer (or Referrer), Origin and Cookie, whatever their case; nothing for any other name. A
/// list says who it is and where it is played from, no more: what else a server could be sent
/// (Host, Authorization, Range, a second request) is the program's to decide.
std::optional<std::string_view> allowedHeaderName(std::string_view name);
/// Whether a header's value may go into a request as it is: no control character but the tab,
/// so that it cannot end its line and start another.
bool isSafeHeaderValue(std::string_view value);

/// A stream address that carries the HTTP headers its channel needs, as one field of a
/// directory line: the address, then a fragment (never sent to the server) that holds the
/// headers percent-encoded and ends with the address's own last three characters, so that
/// the player chosen from a line's end stays the one of the bare address. No "|" or control
/// character appears in it. Headers a line may not ask for are left out.
std::string addressWithHeaders(std::string_view address, const std::vector<HttpHeader>& headers);

/// The bare address and the headers of an address that may carry them; no headers otherwise.
/// Any line may carry the fragment, whoever wrote it: only the headers a line may ask for
/// (allowedHeaderName, in its spelling) with safe values are given.
struct StreamAddress {
    std::string address;
    std::vector<HttpHeader> headers;
};
StreamAddress splitHeaders(std::string_view address);

/// Percent-encodes every byte but ASCII letters, digits and "-._~".
std::string percentEncoded(std::string_view text);
/// Decodes %XX sequences; anything else stays as it is.
std::string percentDecoded(std::string_view text);

}  // namespace qova::platform
