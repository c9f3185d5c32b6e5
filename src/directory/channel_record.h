#pragma once

#include <cstddef>

namespace qova::directory {

/// The fields of a channel record, one line of the directory split at every "|".
enum ChannelField : std::size_t { kCountry = 0, kCategory = 1, kChannelName = 2, kStreamUrl = 3 };

/// A line with fewer fields names no channel: it has no name to show or to key a record by.
inline constexpr std::size_t kFieldsOfAChannel = 3;

inline constexpr const char* kCategoryVideo = "Video";
inline constexpr const char* kCategoryRadio = "Radio";
inline constexpr const char* kCategoryFavorite = "Favorite";
inline constexpr const char* kSelectCountry = "Select Country";

}  // namespace qova::directory
