#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

namespace qova::fuzz {

/// Bounds the walks through lists an input can make long, so that one input stays fast.
inline constexpr std::size_t kMaxVisits = 16;

inline std::string text(const std::uint8_t* data, std::size_t size) {
    return std::string(reinterpret_cast<const char*>(data), size);
}

/// An input in two parts: up to its first line feed, and the rest.
inline std::pair<std::string_view, std::string_view> twoParts(const std::uint8_t* data,
                                                              std::size_t size) {
    const std::string_view whole(reinterpret_cast<const char*>(data), size);
    const std::size_t cut = whole.find('\n');
    if (cut == std::string_view::npos)
        return {whole, {}};
    return {whole.substr(0, cut), whole.substr(cut + 1)};
}

}  // namespace qova::fuzz
