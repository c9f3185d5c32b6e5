// What the engine logged when a stream failed (a server's status line among it), read into the
// words the player area shows: one line of well-formed UTF-8 without control characters, within
// a bound, whatever a server sent. The input's first line holds libmpv's end-of-file reason and
// error code ("4 -13"); each further line is one line of the log.
#include <QByteArrayView>
#include <QStringDecoder>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_input.h"
#include "player/failure_reason.h"

namespace {

// Longer than any message with a whole status line of a server in it.
constexpr std::size_t kMaxMessageBytes = 160;

bool showable(std::string_view text) {
    QStringDecoder decode(QStringDecoder::Utf8);
    static_cast<void>(QString(decode(QByteArrayView(text.data(), qsizetype(text.size())))));
    if (decode.hasError())
        return false;
    for (const unsigned char c : text) {
        if (c < 0x20 || c == 0x7F)
            return false;
    }
    return true;
}

int number(std::string_view& text) {
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    text.remove_prefix(static_cast<std::size_t>(end - text.data()));
    return error == std::errc() ? value : 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace qova;
    auto [head, rest] = fuzz::twoParts(data, size);
    const int reason = number(head);
    const int error = number(head);
    // As the player keeps it: its last lines, each with the line feed the engine ends it with.
    std::vector<std::string> log;
    while (!rest.empty() && log.size() < fuzz::kMaxVisits) {
        const std::size_t end = rest.find('\n');
        const std::size_t length = end == std::string_view::npos ? rest.size() : end + 1;
        log.emplace_back(rest.substr(0, length));
        rest.remove_prefix(length);
    }
    const player::EngineErrorWords words = [](int) { return "loading failed"; };
    const std::string message = player::endFileMessage(reason, error, log, words);
    if (message.size() > kMaxMessageBytes || !showable(message))
        std::abort();
    if (!message.empty() && !message.starts_with("The stream "))
        std::abort();
    const std::string why = player::failureReason(error, log, words);
    if (why.empty() || why.size() > kMaxMessageBytes || !showable(why))
        std::abort();
    return 0;
}
