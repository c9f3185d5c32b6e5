#include "playback/now_playing.h"

#include "directory/channel_record.h"
#include "platform/text.h"

namespace qova::playback {
namespace {

std::string codecName(const std::string& codec) {
    return platform::upperCase(codec);
}

}  // namespace

std::string FactsLine(const platform::StreamFacts& facts) {
    std::string line;
    const auto add = [&line](const std::string& part) {
        if (part.empty())
            return;
        if (!line.empty())
            line += " \u00B7 ";
        line += part;
    };
    std::string picture = codecName(facts.videoCodec);
    if (facts.width > 0 && facts.height > 0) {
        picture += (picture.empty() ? "" : " ") + std::to_string(facts.width) + "\u00D7" +
                   std::to_string(facts.height);
    }
    add(picture);
    add(codecName(facts.audioCodec));
    if (facts.audioBitrate >= 1000)
        add(std::to_string((facts.audioBitrate + 500) / 1000) + " kb/s");
    if (facts.sampleRate > 0) {
        const int tenths = (facts.sampleRate + 50) / 100;
        add(std::to_string(tenths / 10) + (tenths % 10 ? "." + std::to_string(tenths % 10) : "") +
            " kHz");
    }
    return line;
}

ChannelNames NamesOf(std::string_view record) {
    ChannelNames names;
    std::string_view field;
    if (platform::fieldAt(record, directory::kChannelName, field))
        names.channel = platform::shownText(field);
    if (platform::fieldAt(record, directory::kCountry, field))
        names.country = platform::shownText(field);
    return names;
}

}  // namespace qova::playback
