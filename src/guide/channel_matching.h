#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace qova::guide {

/// A channel of the lists as the guide sees it: its name as the tree shows it, and what its
/// playlist said of it for the guide.
struct ChannelHint {
    std::string name;
    std::string tvgId;
    std::string tvgName;
    /// Hours the guide's times are moved by for this channel (tvg-shift).
    int shiftHours = 0;
};

/// How a channel found its guide channel, the better first.
enum class MatchRung : std::uint8_t {
    Chosen,
    SameId,
    SameIdAnyCase,
    SameIdWithoutFeed,
    SameName,
    None,
};

/// A name as the last rung compares it: case, accents, blanks and punctuation left out.
std::string MatchingName(std::string_view name);

/// Finds, for each channel of the lists, the guide channel that is its, by the ladder of
/// MatchRung: the best rung any guide channel reaches wins, the first of them on a tie. Guide
/// channels are offered as a guide streams them past.
class ChannelMatcher {
  public:
    /// chosen: a guide channel id by channel name, as a person chose it by hand.
    ChannelMatcher(const std::vector<ChannelHint>& channels,
                   const std::map<std::string, std::string>& chosen);

    /// Offers a guide channel; whether some channel of the lists may be its (so its programmes
    /// are worth keeping). An id offered again (a programme of it) costs one look-up.
    bool offer(std::string_view guideId, const std::vector<std::string>& displayNames = {});
    /// Whether an id offered before was wanted.
    bool wanted(std::string_view guideId) const;

    /// The guide channel of each channel, in the order given; "" where none matched.
    const std::vector<std::string>& matched() const { return best_; }
    const std::vector<MatchRung>& rungs() const { return rungs_; }

  private:
    void consider(std::uint32_t channel, MatchRung rung, std::string_view guideId, bool& any);

    std::unordered_map<std::string, std::vector<std::uint32_t>> byRung_[5];
    std::unordered_map<std::string, bool> offered_;
    std::vector<std::string> best_;
    std::vector<MatchRung> rungs_;
};

}  // namespace qova::guide
