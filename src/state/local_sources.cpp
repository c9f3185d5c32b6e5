#include "state/local_sources.h"

#include "platform/address_policy.h"
#include "platform/text.h"

namespace qova::state {
namespace {

// The stream address of a directory record: its fourth field.
constexpr std::size_t kAddressField = 3;

bool isBreak(char c) {
    return c == '\r' || c == '\n';
}

bool containsLine(std::string_view text, std::string_view line) {
    for (std::size_t at = text.find(line); at != std::string_view::npos;
         at = text.find(line, at + 1)) {
        const std::size_t end = at + line.size();
        if ((at == 0 || isBreak(text[at - 1])) && (end == text.size() || isBreak(text[end])))
            return true;
    }
    return false;
}

}  // namespace

LocalSources::LocalSources(const MainContext& ctx) : ctx_(ctx) {}

void LocalSources::read() {
    read_ = true;
    platform::TextFiles& files = ctx_.controls.files;
    const std::string& directory = ctx_.state.strDirectoryAddress;
    if (!directory.empty() && platform::isLocalAddress(directory)) {
        if (auto stored = files.read(kChannelFile))
            texts_.push_back(std::move(*stored));
    }
    for (const std::string& copy : ctx_.state.localListCopies) {
        if (auto text = files.read(copy))
            texts_.push_back(std::move(*text));
    }
}

bool LocalSources::named(std::string_view line) {
    if (line.empty())
        return false;
    if (!read_)
        read();
    if (++asked_ == 1) {
        for (const platform::FileText& text : texts_) {
            if (containsLine(platform::withoutByteOrderMark(text.view()), line))
                return true;
        }
        return false;
    }
    if (lines_.empty()) {
        for (const platform::FileText& text : texts_) {
            platform::LineReader reader(platform::withoutByteOrderMark(text.view()),
                                        platform::LineEnds::AnyBreak);
            std::string_view each;
            while (reader.next(each))
                lines_.insert(each);
        }
    }
    return lines_.contains(line);
}

bool LocalSources::allowLocalFile(std::string_view record) {
    std::string_view address;
    if (!platform::fieldAt(record, kAddressField, address) || !platform::isLocalAddress(address))
        return false;
    return named(record);
}

}  // namespace qova::state
