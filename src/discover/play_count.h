#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace qova::discover {

/// A station the database named, as a directory line, with its id there.
struct FoundStation {
    std::string record;
    std::string id;
};

/// The stations of converted lines that carry their ids (directory::ConvertOptions::stationIds),
/// in their order; at most `limit`.
std::vector<FoundStation> StationsWithIds(std::string_view lines, std::size_t limit);

/// The id of a station among the added lists' lines: the id line written right before the
/// record's own by the conversion of a database's list; "" for a record that has none (a channel
/// of the directory, of any other list, or no channel there at all).
std::string StationIdIn(std::string_view addedLines, std::string_view record);

/// Counts each start of one of the database's stations once, as the database asks its clients
/// to: a station of a discovered list, or one a search of the discover window found. A start of
/// the same station again before it ever played (tried again after it failed) is the same
/// start; a channel of any other source is never counted.
class PlayCount {
  public:
    /// Sends a count for a station's id.
    explicit PlayCount(std::function<void(const std::string& id)> count);

    /// The stations a search found, known by their ids beside those of earlier searches, up to
    /// kMaxFound of them.
    void found(const std::vector<FoundStation>& stations);
    static constexpr std::size_t kMaxFound = 2000;
    /// A channel was started; the added lists' lines as they are now tell whether it is a
    /// station of the database.
    void started(const std::string& record, std::string_view addedLines);
    /// The channel started last plays.
    void plays(const std::string& record);

  private:
    std::function<void(const std::string&)> count_;
    std::unordered_map<std::string, std::string> found_;
    std::string counted_;
    bool playedSinceCounted_ = false;
};

}  // namespace qova::discover
