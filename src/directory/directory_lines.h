#pragma once

#include <optional>
#include <string_view>

#include "platform/text.h"
#include "state/main_context.h"

namespace qova::directory {

/// Every line of the channel directory: Channel.txt's, then those of the lists the user added,
/// so that added channels come after the directory's own wherever channels are listed.
class DirectoryLines {
  public:
    explicit DirectoryLines(const state::MainContext& ctx);
    /// The lines of Channel.txt as read, then the added ones.
    DirectoryLines(std::optional<platform::FileText> stored, std::string_view added);
    /// Gives the next line without its terminator; false at the end of the last list.
    bool next(std::string_view& line);
    /// Whether the line given last is one of the added lists'.
    bool inAddedLists() const { return inAdded_; }

  private:
    std::optional<platform::FileText> stored_;
    platform::LineReader reader_;
    std::string_view added_;
    bool inAdded_ = false;
};

}  // namespace qova::directory
