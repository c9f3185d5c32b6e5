#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qova::platform {

/// An HTTP header a channel's server asks for (a user agent, a referrer).
using HttpHeader = std::pair<std::string, std::string>;

/// A stream address that carries the HTTP headers its channel needs, as one field of a
/// directory line: the address, then a fragment (never sent to the server) that holds the
/// headers percent-encoded and ends with the address's own last three characters, so that
/// the player chosen from a line's end stays the one of the bare address. No "|" or control
/// character appears in it.
std::string addressWithHeaders(std::string_view address, const std::vector<HttpHeader>& headers);

/// The bare address and the headers of an address that may carry them; no headers otherwise.
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
