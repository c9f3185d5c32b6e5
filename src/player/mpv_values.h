#pragma once

// What the media engine is asked to report, and the reading of its values: shared by the
// player's event handling and its handling of property changes.
#include <mpv/client.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include "platform/text.h"

namespace qova::player::mpv_values {

inline constexpr const char* kVolumeProperty = "volume";
inline constexpr const char* kMuteProperty = "mute";

// Reply IDs of observed properties; command replies carry request numbers instead, which never
// meet these because they come with another event type.
enum ObservedId : std::uint64_t {
    kObservedIdle = 1,
    kObservedMetadata,
    kObservedPath,
    kObservedVolume,
    kObservedMute,
    kObservedAudioCodec,
    kObservedVideoCodec,
    kObservedAudioBitrate,
    kObservedSampleRate,
    kObservedWidth,
    kObservedHeight,
    kObservedPausedForCache,
    kObservedBufferingState,
    kObservedSeekable,
    kObservedFileSize,
    kObservedFileFormat,
};

struct ObservedProperty {
    ObservedId id;
    const char* name;
    mpv_format format;
};

constexpr std::array<ObservedProperty, 16> kObservedProperties = {{
    {kObservedIdle, "idle-active", MPV_FORMAT_FLAG},
    {kObservedMetadata, "metadata", MPV_FORMAT_NODE},
    {kObservedPath, "path", MPV_FORMAT_STRING},
    {kObservedVolume, kVolumeProperty, MPV_FORMAT_DOUBLE},
    {kObservedMute, kMuteProperty, MPV_FORMAT_FLAG},
    {kObservedAudioCodec, "audio-codec-name", MPV_FORMAT_STRING},
    {kObservedVideoCodec, "video-format", MPV_FORMAT_STRING},
    {kObservedAudioBitrate, "audio-bitrate", MPV_FORMAT_DOUBLE},
    {kObservedSampleRate, "audio-params/samplerate", MPV_FORMAT_INT64},
    {kObservedWidth, "video-params/w", MPV_FORMAT_INT64},
    {kObservedHeight, "video-params/h", MPV_FORMAT_INT64},
    {kObservedPausedForCache, "paused-for-cache", MPV_FORMAT_FLAG},
    {kObservedBufferingState, "cache-buffering-state", MPV_FORMAT_INT64},
    {kObservedSeekable, "seekable", MPV_FORMAT_FLAG},
    {kObservedFileSize, "file-size", MPV_FORMAT_INT64},
    {kObservedFileFormat, "file-format", MPV_FORMAT_STRING},
}};

inline const mpv_node* mapValue(const mpv_node& map, const char* key) {
    if (map.format != MPV_FORMAT_NODE_MAP || map.u.list == nullptr)
        return nullptr;
    const mpv_node_list& list = *map.u.list;
    for (int i = 0; i < list.num; ++i) {
        // Tag names differ in case between formats (Vorbis comments are upper case).
        if (list.keys[i] && platform::equalsIgnoringAsciiCase(list.keys[i], key))
            return &list.values[i];
    }
    return nullptr;
}

inline std::string mapString(const mpv_node& map, const char* key) {
    const mpv_node* value = mapValue(map, key);
    if (value && value->format == MPV_FORMAT_STRING && value->u.string)
        return value->u.string;
    return {};
}

inline bool available(const mpv_event_property& property) {
    return property.format != MPV_FORMAT_NONE && property.data != nullptr;
}

inline std::string stringValue(const mpv_event_property& property) {
    if (property.format != MPV_FORMAT_STRING || property.data == nullptr)
        return {};
    const char* text = *static_cast<char**>(property.data);
    return text ? text : "";
}

inline int intValue(const mpv_event_property& property) {
    if (!available(property))
        return 0;
    if (property.format == MPV_FORMAT_DOUBLE)
        return static_cast<int>(std::lround(*static_cast<const double*>(property.data)));
    if (property.format == MPV_FORMAT_INT64) {
        const auto value = *static_cast<const std::int64_t*>(property.data);
        return static_cast<int>(
            std::clamp<std::int64_t>(value, 0, std::numeric_limits<int>::max()));
    }
    return 0;
}

}  // namespace qova::player::mpv_values
