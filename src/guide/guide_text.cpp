#include "guide/guide_text.h"

#include <algorithm>
#include <ctime>

namespace qova::guide {
namespace {

constexpr int kBarSteps = 10;

}  // namespace

std::string ClockText(UnixTime at) {
    const std::time_t t = static_cast<std::time_t>(at);
    std::tm local{};
    localtime_r(&t, &local);
    char text[8];
    std::strftime(text, sizeof text, "%H:%M", &local);
    return text;
}

std::string ProgrammeLine(const Programme& programme) {
    std::string line = ClockText(programme.start) + "\u2013" + ClockText(programme.stop) + " ";
    line += programme.title.empty() ? std::string_view("(no title)") : programme.title;
    if (!programme.subTitle.empty())
        line.append(": ").append(programme.subTitle);
    return line;
}

std::string NowNextText(const GuideStore::NowNext& nowNext, UnixTime at) {
    std::string text;
    if (nowNext.now) {
        const Programme& now = *nowNext.now;
        const UnixTime length = std::max<UnixTime>(1, now.stop - now.start);
        const int done = static_cast<int>(
            std::clamp<UnixTime>((at - now.start) * kBarSteps / length, 0, kBarSteps));
        text = "Now " + ProgrammeLine(now) + "\n";
        for (int i = 0; i < kBarSteps; ++i)
            text += i < done ? "\u25B0" : "\u25B1";
        const UnixTime left = std::max<UnixTime>(0, (now.stop - at + 59) / 60);
        text += " " + std::to_string(left) + " min left";
    }
    if (nowNext.next) {
        if (!text.empty())
            text += "\n";
        text += "Next " + ProgrammeLine(*nowNext.next);
    }
    return text;
}

}  // namespace qova::guide
