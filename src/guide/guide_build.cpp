#include "guide/guide_build.h"

#include <algorithm>
#include <unordered_map>

#include "guide/guide_collection.h"
#include "guide/guide_input.h"
#include "guide/guide_store.h"
#include "guide/xmltv_reader.h"

namespace qova::guide {
namespace {

// tvg-shift moves a channel's times by at most this; the reader keeps that much more.
constexpr UnixTime kShiftMarginSeconds = 14 * 3600;

}  // namespace

BuildResult BuildGuideStore(const BuildRequest& request) {
    BuildResult result;
    StringPool pool;
    const UnixTime from = request.now - kKeptBeforeSeconds;
    const UnixTime to = request.now + kKeptAheadSeconds;
    StoreContent content{pool, {}, {}, request.now};
    content.channels.resize(request.channels.size());
    std::vector<bool> filled(request.channels.size(), false);
    for (const std::string& file : request.guideFiles) {
        std::string error;
        const auto input = GuideInput::open(file, error);
        if (!input) {
            result.error = error;
            return result;
        }
        ChannelMatcher matcher(request.channels, request.chosen);
        GuideProgrammes programmes;
        const ReadOutcome read =
            ReadXmltv(*input, matcher, {from - kShiftMarginSeconds, to + kShiftMarginSeconds}, pool,
                      programmes);
        if (read.result != ReadOutcome::Result::Whole) {
            result.error = read.result == ReadOutcome::Result::NotAGuide
                               ? "The address gives no programme guide."
                               : read.error;
            return result;
        }
        // A guide channel's programmes go to the last channel that takes them, copied only
        // for the channels before it.
        std::unordered_map<std::string_view, std::size_t> takers;
        for (std::size_t i = 0; i < request.channels.size(); ++i) {
            if (!filled[i] && !matcher.matched()[i].empty())
                ++takers[matcher.matched()[i]];
        }
        for (std::size_t i = 0; i < request.channels.size(); ++i) {
            const std::string& guideChannel = matcher.matched()[i];
            const auto found = programmes.find(guideChannel);
            if (filled[i] || guideChannel.empty() || found == programmes.end())
                continue;
            std::vector<ReadProgramme> own =
                --takers[guideChannel] == 0 ? std::move(found->second) : found->second;
            const UnixTime shift = UnixTime{request.channels[i].shiftHours} * 3600;
            for (ReadProgramme& p : own) {
                p.start += shift;
                p.stop = p.stop != 0 ? p.stop + shift : 0;
            }
            Tidy(own, from, to);
            filled[i] = true;
            content.channels[i].guideChannel = pool.intern(guideChannel);
            content.channels[i].programmes = std::move(own);
        }
    }
    for (std::size_t i = 0; i < request.channels.size(); ++i) {
        content.channels[i].name = pool.intern(request.channels[i].name);
        result.channelsMatched += filled[i] ? 1 : 0;
        result.programmes += content.channels[i].programmes.size();
    }
    for (const BuildRequest::List& list : request.lists) {
        StoreContent::List coverage{pool.intern(list.address), 0,
                                    static_cast<std::uint32_t>(list.channels.size())};
        for (const std::uint32_t channel : list.channels)
            coverage.matched += channel < filled.size() && filled[channel] ? 1 : 0;
        content.lists.push_back(coverage);
    }
    // A channel the guides do not know has no place in the store.
    std::erase_if(content.channels,
                  [](const StoreContent::Channel& c) { return c.guideChannel == 0; });
    result.written = WriteGuideStore(request.storePath, content);
    if (!result.written)
        result.error = "The guide cannot be written beside the program.";
    return result;
}

}  // namespace qova::guide
