#include "guide/guide_sources.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <unordered_map>

#include "directory/channel_record.h"
#include "platform/text.h"

namespace qova::guide {
namespace {

// Tabs and line breaks cannot stand in a field of the hints file.
std::string field(std::string_view text) {
    std::string out(text);
    std::replace_if(
        out.begin(), out.end(), [](char c) { return c == '\t' || c == '\r' || c == '\n'; }, ' ');
    return out;
}

std::vector<std::string_view> tabFields(std::string_view line) {
    return platform::splitFields(line, '\t');
}

std::string lines(const std::vector<std::string>& each) {
    std::string out;
    for (const std::string& line : each)
        out += line + "\r\n";
    return out;
}

}  // namespace

std::string GuideCacheName(std::string_view address) {
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx",
                  static_cast<unsigned long long>(platform::fnv1a(address)));
    return std::string("GuideCache-") + hex;
}

GuideSources::GuideSources(platform::TextFiles& files) : files_(files) {}

void GuideSources::load() {
    added_.clear();
    lists_.clear();
    chosen_.clear();
    if (const auto text = files_.read(kGuidesFile)) {
        platform::LineReader reader(platform::withoutByteOrderMark(text->view()),
                                    platform::LineEnds::AnyBreak);
        std::string_view line;
        while (reader.next(line) && added_.size() < kMaxGuides) {
            line = platform::trimmed(line);
            if (!line.empty() && line.front() != '#')
                added_.emplace_back(line);
        }
    }
    if (const auto text = files_.read(kGuideHintsFile)) {
        platform::LineReader reader(text->view(), platform::LineEnds::AnyBreak);
        std::string_view line;
        PlaylistHints* list = nullptr;
        while (reader.next(line)) {
            const auto fields = tabFields(line);
            if (fields.size() >= 2 && fields[0] == "list") {
                list = &lists_[std::string(fields[1])];
                for (std::size_t i = 2; i < fields.size(); ++i)
                    list->guides.emplace_back(fields[i]);
            } else if (list != nullptr && fields.size() >= 5 && fields[0] == "channel") {
                int shift = 0;
                std::from_chars(fields[4].data(), fields[4].data() + fields[4].size(), shift);
                list->channels.push_back({std::string(fields[1]), std::string(fields[2]),
                                          std::string(fields[3]), std::clamp(shift, -12, 14)});
            }
        }
    }
    if (const auto text = files_.read(kGuideChoicesFile)) {
        platform::LineReader reader(text->view(), platform::LineEnds::AnyBreak);
        std::string_view line;
        while (reader.next(line)) {
            const auto fields = tabFields(line);
            if (fields.size() == 2 && !fields[0].empty())
                chosen_[std::string(fields[0])] = std::string(fields[1]);
        }
    }
}

bool GuideSources::any() const {
    return !guides().empty();
}

std::vector<std::string> GuideSources::guides() const {
    std::vector<std::string> out;
    const auto addOnce = [&out](const std::string& address) {
        if (std::find(out.begin(), out.end(), address) == out.end())
            out.push_back(address);
    };
    for (const std::string& address : added_)
        addOnce(address);
    for (const auto& [list, hints] : lists_) {
        for (const std::string& address : hints.guides)
            addOnce(address);
    }
    return out;
}

bool GuideSources::listRead(const std::string& list, const PlaylistHints& hints) {
    const auto known = lists_.find(list);
    const bool sameGuides =
        known != lists_.end() ? known->second.guides == hints.guides : hints.guides.empty();
    if (hints.guides.empty() && hints.channels.empty() && known == lists_.end())
        return false;
    lists_[list] = hints;
    if (any())
        saveHints();
    return !sameGuides;
}

bool GuideSources::saveHints() {
    std::vector<std::string> out;
    for (const auto& [list, hints] : lists_) {
        std::string line = "list\t" + field(list);
        for (const std::string& guide : hints.guides)
            line += "\t" + field(guide);
        out.push_back(std::move(line));
        for (const ChannelHint& c : hints.channels) {
            if (!c.tvgId.empty() || !c.tvgName.empty() || c.shiftHours != 0)
                out.push_back("channel\t" + field(c.name) + "\t" + field(c.tvgId) + "\t" +
                              field(c.tvgName) + "\t" + std::to_string(c.shiftHours));
        }
    }
    return files_.replace(kGuideHintsFile, lines(out));
}

bool GuideSources::add(std::string_view address) {
    address = platform::trimmed(address);
    if (address.empty() || added_.size() >= kMaxGuides ||
        address.find_first_of("\r\n") != std::string_view::npos ||
        std::find(added_.begin(), added_.end(), address) != added_.end())
        return false;
    added_.emplace_back(address);
    if (!files_.replace(kGuidesFile, lines(added_))) {
        added_.pop_back();
        return false;
    }
    saveHints();
    return true;
}

bool GuideSources::remove(std::size_t index) {
    if (index >= added_.size())
        return false;
    std::vector<std::string> left = added_;
    left.erase(left.begin() + static_cast<std::ptrdiff_t>(index));
    if (!files_.replace(kGuidesFile, lines(left)))
        return false;
    added_ = std::move(left);
    return true;
}

bool GuideSources::choose(const std::string& channel, const std::string& guideChannel) {
    if (guideChannel.empty())
        chosen_.erase(channel);
    else
        chosen_[field(channel)] = field(guideChannel);
    std::vector<std::string> out;
    for (const auto& [name, id] : chosen_)
        out.push_back(name + "\t" + id);
    return files_.replace(kGuideChoicesFile, lines(out));
}

void GuideSources::fillRequest(
    std::string_view directoryLines, const std::string& directoryAddress,
    const std::vector<std::pair<std::string, std::string_view>>& addedLists,
    BuildRequest& request) const {
    request.chosen = chosen_;
    std::unordered_map<std::string, std::uint32_t> index;
    // Which list last counted each channel, so that a list counts a channel once.
    std::vector<std::size_t> countedBy;
    const auto take = [&](const std::string& list, std::string_view text) {
        const auto hints = lists_.find(list);
        std::unordered_map<std::string_view, const ChannelHint*> byName;
        if (hints != lists_.end()) {
            for (const ChannelHint& hint : hints->second.channels)
                byName.emplace(hint.name, &hint);
        }
        BuildRequest::List& coverage = request.lists.emplace_back();
        coverage.address = list;
        platform::LineReader reader(text, platform::LineEnds::AnyBreak);
        std::string_view line;
        while (reader.next(line)) {
            std::string_view category, name;
            if (!platform::fieldAt(line, directory::kCategory, category) ||
                !platform::fieldAt(line, directory::kChannelName, name) ||
                !platform::equalsIgnoringAsciiCase(category, directory::kCategoryVideo) ||
                name.empty())
                continue;
            const auto [at, added] = index.emplace(
                std::string(name), static_cast<std::uint32_t>(request.channels.size()));
            if (added) {
                countedBy.push_back(SIZE_MAX);
                const auto hint = byName.find(name);
                request.channels.push_back(hint != byName.end()
                                               ? *hint->second
                                               : ChannelHint{std::string(name), {}, {}, 0});
            }
            if (countedBy[at->second] != request.lists.size()) {
                countedBy[at->second] = request.lists.size();
                coverage.channels.push_back(at->second);
            }
        }
    };
    take(directoryAddress, directoryLines);
    for (const auto& [list, text] : addedLists)
        take(list, text);
}

}  // namespace qova::guide
