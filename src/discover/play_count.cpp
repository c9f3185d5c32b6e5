#include "discover/play_count.h"

#include <utility>

#include "directory/channel_record.h"
#include "directory/list_formats.h"
#include "platform/text.h"

namespace qova::discover {
namespace {

using directory::kStationIdLine;

// The id of an id line; "" for any other line.
std::string_view idOf(std::string_view line) {
    if (!line.starts_with(kStationIdLine))
        return {};
    const std::string_view id = line.substr(kStationIdLine.size());
    return directory::IsStationId(id) ? id : std::string_view();
}

}  // namespace

std::vector<FoundStation> StationsWithIds(std::string_view lines, std::size_t limit) {
    std::vector<FoundStation> stations;
    platform::LineReader reader(lines);
    std::string_view line;
    std::string_view id;
    while (stations.size() < limit && reader.next(line)) {
        if (const std::string_view lineId = idOf(line); !lineId.empty()) {
            id = lineId;
            continue;
        }
        if (!id.empty() && platform::hasFields(line, directory::kFieldsOfAChannel))
            stations.push_back({std::string(line), std::string(id)});
        id = {};
    }
    return stations;
}

std::string StationIdIn(std::string_view addedLines, std::string_view record) {
    if (record.empty() || record.find_first_of("\r\n") != std::string_view::npos)
        return {};
    // Every occurrence of the record as a whole line; the id line must come right before it.
    for (std::size_t at = addedLines.find(record); at != std::string_view::npos;
         at = addedLines.find(record, at + 1)) {
        const std::size_t end = at + record.size();
        const bool wholeLine =
            at >= 2 && addedLines[at - 1] == '\n' &&
            (end == addedLines.size() || addedLines[end] == '\r' || addedLines[end] == '\n');
        if (!wholeLine)
            continue;
        std::size_t lineEnd = at - 1;
        if (lineEnd > 0 && addedLines[lineEnd - 1] == '\r')
            --lineEnd;
        const std::size_t lineStart = addedLines.rfind('\n', lineEnd == 0 ? 0 : lineEnd - 1);
        const std::size_t from = lineStart == std::string_view::npos ? 0 : lineStart + 1;
        const std::string_view id = idOf(addedLines.substr(from, lineEnd - from));
        if (!id.empty())
            return std::string(id);
    }
    return {};
}

PlayCount::PlayCount(std::function<void(const std::string& id)> count) : count_(std::move(count)) {}

void PlayCount::found(const std::vector<FoundStation>& stations) {
    // Stations of earlier searches may still show in the tree; memory stays bounded all the same.
    if (found_.size() + stations.size() > kMaxFound)
        found_.clear();
    for (const FoundStation& station : stations)
        found_.emplace(station.record, station.id);
}

void PlayCount::started(const std::string& record, std::string_view addedLines) {
    std::string id;
    if (const auto known = found_.find(record); known != found_.end())
        id = known->second;
    else
        id = StationIdIn(addedLines, record);
    if (id.empty()) {
        counted_.clear();
        return;
    }
    if (record == counted_ && !playedSinceCounted_)
        return;
    counted_ = record;
    playedSinceCounted_ = false;
    count_(id);
}

void PlayCount::plays(const std::string& record) {
    if (!counted_.empty() && record == counted_)
        playedSinceCounted_ = true;
}

}  // namespace qova::discover
