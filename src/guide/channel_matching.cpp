#include "guide/channel_matching.h"

#include "platform/text.h"

namespace qova::guide {
namespace {

std::string withoutFeed(std::string_view id) {
    return platform::asciiLowerCase(id.substr(0, id.find('@')));
}

}  // namespace

std::string MatchingName(std::string_view name) {
    std::string out;
    for (const char c : platform::foldedForSearch(name)) {
        const auto byte = static_cast<unsigned char>(c);
        // Letters and digits of every script stay; ASCII blanks and punctuation go.
        if (byte >= 0x80 || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))
            out += c;
    }
    return out;
}

ChannelMatcher::ChannelMatcher(const std::vector<ChannelHint>& channels,
                               const std::map<std::string, std::string>& chosen)
    : best_(channels.size()), rungs_(channels.size(), MatchRung::None) {
    for (std::uint32_t i = 0; i < channels.size(); ++i) {
        const ChannelHint& hint = channels[i];
        if (const auto it = chosen.find(hint.name); it != chosen.end() && !it->second.empty())
            byRung_[0][it->second].push_back(i);
        if (!hint.tvgId.empty()) {
            byRung_[1][hint.tvgId].push_back(i);
            byRung_[2][platform::asciiLowerCase(hint.tvgId)].push_back(i);
            byRung_[3][withoutFeed(hint.tvgId)].push_back(i);
        }
        for (const std::string& name : {MatchingName(hint.tvgName), MatchingName(hint.name)}) {
            auto& list = byRung_[4][name];
            if (!name.empty() && (list.empty() || list.back() != i))
                list.push_back(i);
        }
    }
}

void ChannelMatcher::consider(std::uint32_t channel, MatchRung rung, std::string_view guideId,
                              bool& any) {
    any = true;
    if (rung < rungs_[channel]) {
        rungs_[channel] = rung;
        best_[channel] = std::string(guideId);
    }
}

bool ChannelMatcher::offer(std::string_view guideId, const std::vector<std::string>& displayNames) {
    const std::string id(guideId);
    if (displayNames.empty()) {
        if (const auto seen = offered_.find(id); seen != offered_.end())
            return seen->second;
    }
    bool any = false;
    const std::string keys[4] = {id, id, platform::asciiLowerCase(id), withoutFeed(id)};
    for (int rung = 0; rung < 4; ++rung) {
        if (const auto hit = byRung_[rung].find(keys[rung]); hit != byRung_[rung].end()) {
            for (const std::uint32_t channel : hit->second)
                consider(channel, static_cast<MatchRung>(rung), guideId, any);
        }
    }
    for (const std::string& name : displayNames) {
        if (const auto hit = byRung_[4].find(MatchingName(name)); hit != byRung_[4].end()) {
            for (const std::uint32_t channel : hit->second)
                consider(channel, MatchRung::SameName, guideId, any);
        }
    }
    bool& known = offered_[id];
    known = known || any;
    return known;
}

bool ChannelMatcher::wanted(std::string_view guideId) const {
    const auto seen = offered_.find(std::string(guideId));
    return seen != offered_.end() && seen->second;
}

}  // namespace qova::guide
