#pragma once

#include <string>
#include <string_view>

#include "platform/media_player.h"

namespace qova::playback {

/// The line of facts the player area shows under a stream's title: the picture's codec and size,
/// the sound's codec, bit rate and sample rate, as far as the stream tells them, e.g.
/// "H264 640×360 · AAC · 128 kb/s · 44.1 kHz". Empty when it tells nothing.
std::string FactsLine(const platform::StreamFacts& facts);

/// The name and the country of a channel record as names are shown; empty where the line has no
/// such field.
struct ChannelNames {
    std::string channel;
    std::string country;
};
ChannelNames NamesOf(std::string_view record);

}  // namespace qova::playback
