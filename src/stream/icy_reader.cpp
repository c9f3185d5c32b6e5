#include "stream/icy_reader.h"

#include <algorithm>

namespace qova::stream {
namespace {

constexpr std::string_view kTitleKey = "StreamTitle='";
constexpr std::string_view kTitleEnd = "';";

}  // namespace

std::optional<std::string> streamTitleOf(std::string_view block) {
    // Padding with NULs fills a block to its 16-byte steps.
    block = block.substr(0, block.find('\0'));
    const auto start = block.find(kTitleKey);
    if (start == std::string_view::npos)
        return std::nullopt;
    std::string_view rest = block.substr(start + kTitleKey.size());
    // A title may hold an apostrophe ("Guns N' Roses"): only "';" ends it, or the block's end
    // for a station that leaves out the semicolon.
    auto end = rest.find(kTitleEnd);
    if (end == std::string_view::npos) {
        end = rest.rfind('\'');
        if (end == std::string_view::npos)
            end = rest.size();
    }
    return std::string(rest.substr(0, end));
}

IcyReader::IcyReader(std::size_t metaint, Handlers handlers)
    : metaint_(metaint), handlers_(std::move(handlers)), untilBlock_(metaint) {}

void IcyReader::feed(const char* data, std::size_t size) {
    while (size > 0) {
        if (metaint_ == 0 || (!inBlock_ && untilBlock_ > 0)) {
            const std::size_t take = metaint_ == 0 ? size : std::min(size, untilBlock_);
            if (handlers_.audio)
                handlers_.audio(data, take);
            audioBytes_ += take;
            if (metaint_ != 0)
                untilBlock_ -= take;
            data += take;
            size -= take;
            continue;
        }
        if (!inBlock_) {
            blockLeft_ = static_cast<unsigned char>(*data) * std::size_t{16};
            ++data;
            --size;
            inBlock_ = true;
            block_.clear();
        }
        const std::size_t take = std::min(size, blockLeft_);
        block_.append(data, take);
        data += take;
        size -= take;
        blockLeft_ -= take;
        if (blockLeft_ == 0) {
            inBlock_ = false;
            untilBlock_ = metaint_;
            if (auto title = streamTitleOf(block_); title && handlers_.title)
                handlers_.title(*title, audioBytes_);
        }
    }
}

}  // namespace qova::stream
