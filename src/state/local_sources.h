#pragma once

#include <string_view>
#include <unordered_set>
#include <vector>

#include "platform/text_files.h"
#include "state/main_context.h"

namespace qova::state {

/// Which channels may name a file on this computer, decided for each from where its line came:
/// only a list that is itself a file here may. A line may when the same whole line is found in
/// such a source: Channel.txt when the directory's address is local, or the kept copy of an
/// added list whose address is local. Favourites and the search's results are lines copied from
/// the sources, and so may when a local source still names them; a favourite imported from a
/// playlist only when one does too. Asked where a channel starts and where the check looks at
/// it; a line that names a stream needs no such leave and is not looked for.
class LocalSources {
  public:
    /// The sources as they are now; nothing is read until a line names a local file.
    explicit LocalSources(const MainContext& ctx);

    /// Whether the channel of this record may name a file here.
    bool allowLocalFile(std::string_view record);

  private:
    void read();
    bool named(std::string_view line);

    const MainContext& ctx_;
    bool read_ = false;
    std::vector<platform::FileText> texts_;
    // Every line of the sources, made at the second question: one question (a channel started)
    // is answered by a search of the texts, many (a check of the tree) by a look-up each.
    std::unordered_set<std::string_view> lines_;
    int asked_ = 0;
};

}  // namespace qova::state
