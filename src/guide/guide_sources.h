#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "guide/guide_build.h"
#include "guide/playlist_hints.h"
#include "platform/text_files.h"

namespace qova::guide {

/// The guides a person added, one address a line.
inline constexpr const char* kGuidesFile = "Guides.txt";
/// What the lists' playlists said for the guide (the guides their headers name, their channels'
/// tvg- attributes), kept for a start that cannot fetch them.
inline constexpr const char* kGuideHintsFile = "GuideHints.txt";
/// The guide channel a person chose for a channel by hand.
inline constexpr const char* kGuideChoicesFile = "GuideChoices.txt";
/// A guide fetched from the web is kept as GuideCache-<hash>, with what its server said of it
/// (ETag, Last-Modified, when) in GuideCache-<hash>.txt.
std::string GuideCacheName(std::string_view address);
/// The longest list of guides a person may keep.
inline constexpr std::size_t kMaxGuides = 64;

/// Where the guides come from and what is known for matching their channels: the guides a person
/// added, those the lists' headers name, the channels' hints and the choices made by hand. No
/// file is written while no guide is known from anywhere.
class GuideSources {
  public:
    explicit GuideSources(platform::TextFiles& files);

    void load();
    /// Whether any guide is known: otherwise nothing of the guide is done or written.
    bool any() const;
    /// Every guide's address in the order they are merged: those added by hand, then those the
    /// lists name, in the lists' order; each once.
    std::vector<std::string> guides() const;
    const std::vector<std::string>& added() const { return added_; }

    /// What a list's page said; kept when it differs from what was known. True when the guides
    /// named changed.
    bool listRead(const std::string& list, const PlaylistHints& hints);
    bool add(std::string_view address);
    bool remove(std::size_t index);
    /// A channel's guide channel chosen by hand; "" gives the choice back to the ladder.
    bool choose(const std::string& channel, const std::string& guideChannel);
    const std::map<std::string, std::string>& chosen() const { return chosen_; }

    /// The channels for a build: each TV channel of the directory lines (Country|Video|Name|...)
    /// once, with its list's hints, and which list holds which.
    void fillRequest(std::string_view directoryLines, const std::string& directoryAddress,
                     const std::vector<std::pair<std::string, std::string_view>>& addedLists,
                     BuildRequest& request) const;

  private:
    bool saveHints();
    bool saveChoices();

    platform::TextFiles& files_;
    std::vector<std::string> added_;
    std::map<std::string, PlaylistHints> lists_;
    std::map<std::string, std::string> chosen_;
};

}  // namespace qova::guide
