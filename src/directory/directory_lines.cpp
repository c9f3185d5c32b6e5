#include "directory/directory_lines.h"

#include <utility>

namespace qova::directory {

DirectoryLines::DirectoryLines(const state::MainContext& ctx)
    : DirectoryLines(ctx.controls.files.read(state::kChannelFile), ctx.state.strAddedChannels) {}

DirectoryLines::DirectoryLines(std::optional<platform::FileText> stored, std::string_view added)
    : stored_(std::move(stored)),
      reader_(stored_ ? platform::withoutByteOrderMark(stored_->view()) : std::string_view()),
      added_(added) {}

bool DirectoryLines::next(std::string_view& line) {
    if (reader_.next(line))
        return true;
    if (inAdded_ || added_.empty())
        return false;
    inAdded_ = true;
    reader_ = platform::LineReader(added_);
    return reader_.next(line);
}

}  // namespace qova::directory
