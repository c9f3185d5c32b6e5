#include "directory/directory_lines.h"

namespace qova::directory {

DirectoryLines::DirectoryLines(const state::MainContext& ctx)
    : stored_(ctx.controls.files.read(state::kChannelFile)),
      reader_(stored_ ? platform::withoutByteOrderMark(stored_->view()) : std::string_view()),
      added_(ctx.state.strAddedChannels) {}

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
