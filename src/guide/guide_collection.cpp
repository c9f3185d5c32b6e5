#include "guide/guide_collection.h"

#include <algorithm>
#include <cstring>

namespace qova::guide {
namespace {

constexpr std::size_t kBlockBytes = 1024 * 1024;
constexpr UnixTime kLastProgrammeSeconds = 3600;

}  // namespace

StringPool::StringPool() {
    strings_.emplace_back();
    index_.emplace(std::string_view(), 0);
}

std::string_view StringPool::copy(std::string_view text) {
    if (text.empty())
        return {};
    if (text.size() > blockLeft_) {
        const std::size_t bytes = std::max(kBlockBytes, text.size());
        blocks_.push_back(std::make_unique<char[]>(bytes));
        blockAt_ = blocks_.back().get();
        blockLeft_ = bytes;
    }
    std::memcpy(blockAt_, text.data(), text.size());
    const std::string_view kept(blockAt_, text.size());
    blockAt_ += text.size();
    blockLeft_ -= text.size();
    return kept;
}

StringPool::Id StringPool::intern(std::string_view text) {
    if (const auto found = index_.find(text); found != index_.end())
        return found->second;
    const Id id = add(text);
    index_.emplace(strings_[id], id);
    return id;
}

StringPool::Id StringPool::add(std::string_view text) {
    if (text.empty())
        return 0;
    strings_.push_back(copy(text));
    return static_cast<Id>(strings_.size() - 1);
}

void Tidy(std::vector<ReadProgramme>& programmes, UnixTime from, UnixTime to) {
    std::stable_sort(
        programmes.begin(), programmes.end(),
        [](const ReadProgramme& a, const ReadProgramme& b) { return a.start < b.start; });
    const auto repeated = std::unique(
        programmes.begin(), programmes.end(),
        [](const ReadProgramme& a, const ReadProgramme& b) { return a.start == b.start; });
    programmes.erase(repeated, programmes.end());
    for (std::size_t i = 0; i < programmes.size(); ++i) {
        ReadProgramme& p = programmes[i];
        if (p.stop <= p.start)
            p.stop = i + 1 < programmes.size() ? programmes[i + 1].start
                                               : p.start + kLastProgrammeSeconds;
    }
    std::erase_if(programmes,
                  [from, to](const ReadProgramme& p) { return p.stop <= from || p.start >= to; });
}

}  // namespace qova::guide
