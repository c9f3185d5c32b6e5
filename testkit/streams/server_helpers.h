#pragma once

// What the streaming servers share: the encoder that feeds them, and the requests that find out
// whether they serve.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace qova::testkit::streams {

inline constexpr const char* kFfmpeg = "/usr/bin/ffmpeg";
/// The tone every test stream plays, as ffmpeg's lavfi input.
inline const std::string kSineInput = "sine=frequency=440:sample_rate=44100";

/// Command-line words of a text without quoted parts.
inline std::vector<std::string> commandWords(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string word; in >> word;)
        out.push_back(word);
    return out;
}

/// A client request that closes its connection after the answer, so that reads end early.
inline std::string httpGet(std::uint16_t port, const std::string& target,
                           const std::string& extra = {}) {
    return "GET " + target + " HTTP/1.0\r\nHost: 127.0.0.1:" + std::to_string(port) +
           "\r\nUser-Agent: qova-tests\r\n" + extra + "\r\n";
}

/// Whether the answer's status line holds the status ("200").
inline bool startsWithStatus(const std::string& answer, const std::string& status) {
    const auto lineEnd = answer.find("\r\n");
    return lineEnd != std::string::npos &&
           answer.substr(0, lineEnd).find(" " + status) != std::string::npos;
}

/// For exchangeOnLoopback: the head arrived and at least `bodyBytes` of the body.
inline std::function<bool(const std::string&)> headAndBody(std::size_t bodyBytes) {
    return [bodyBytes](const std::string& answer) {
        const auto end = answer.find("\r\n\r\n");
        return end != std::string::npos && answer.size() >= end + 4 + bodyBytes;
    };
}

}  // namespace qova::testkit::streams
