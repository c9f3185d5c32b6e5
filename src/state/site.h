#pragma once

#include <string>

namespace qova::state {

/// The service's web site (scheme and host, no trailing slash) and support address. The
/// program uses the defaults; tests give addresses of their own.
struct Site {
    std::string address = "https://www.qova.tv";
    std::string supportEmail = "support@qova.tv";
    /// Where the media player page sends a browser for the player control and for the player.
    std::string playerControlHost = "download.qova.tv";
    std::string playerDownloadHost = "www.qova.tv";

    std::string page(const char* path) const { return address + path; }
};

}  // namespace qova::state
