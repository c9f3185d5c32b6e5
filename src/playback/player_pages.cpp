#include "playback/player_pages.h"

#include <array>
#include <vector>

#include "platform/text.h"

namespace qova::playback {

std::string GetStreamKind(std::string_view line) {
    const std::vector<std::size_t> starts = platform::characterStarts(line);
    const std::size_t count = starts.size();
    if (count < 6)
        return "";
    return platform::lowerCase(
        line.substr(starts[count - 6], starts[count - 3] - starts[count - 6]));
}

PlayerKind ChoosePlayer(std::string_view kind) {
    static constexpr std::array<std::string_view, 3> kReal = {".rm", "ram", "rem"};
    static constexpr std::array<std::string_view, 2> kWinamp = {"nsv", "nsa"};
    const std::string lower = platform::lowerCase(kind);
    for (std::string_view k : kReal) {
        if (lower == k)
            return PlayerKind::RealPlayer;
    }
    for (std::string_view k : kWinamp) {
        if (lower == k)
            return PlayerKind::Winamp;
    }
    return PlayerKind::MediaPlayer;
}

std::string GetUrlPrefix(std::string_view address) {
    const std::vector<std::size_t> starts = platform::characterStarts(address.substr(0, 16));
    return platform::lowerCase(address.substr(0, starts.size() > 4 ? starts[4] : address.size()));
}

std::string EscapeForMarkup(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string MediaPlayerPage(std::string_view streamUrl, const state::Site& site) {
    const std::string url = EscapeForMarkup(streamUrl);
    std::string page =
        "<html><body bgcolor=\"black\" style=\"overflow:hidden;margin:0;padding:0\"><object "
        "id=\"mediaPlayer\" classid=\"CLSID:22d6f312-b0f6-11d0-94ab-0080c74c7e95\" "
        "codebase=\"http://";
    page += site.playerControlHost;
    page +=
        "/activex/controls/mplayer/en/nsmp2inf.cab#Version=5,1,52,701\" width=\"550\" "
        "height=\"338\" standby=\"Loading Microsoft Windows Media Player components...\" "
        "type=\"application/x-oleobject\"><param name=\"src\" value=\"";
    page += url;
    page +=
        "\"><param name=\"autoStart\" value=\"True\"><param name=\"showControls\" "
        "value=\"false\"><param name=\"showControls\" value=\"false\"><param "
        "name=\"transparentatStart\" value=\"true\"><param name=\"animationatStart\" "
        "value=\"true\"><param name=\"ShowStatusBar\" value=\"1\"><embed "
        "type=\"application/x-mplayer2\" pluginspage=\"http://";
    page += site.playerDownloadHost;
    page +=
        "/Windows/MediaPlayer/en/download/\" id=\"mediaPlayer\" name=\"mediaPlayer\" "
        "width=\"550\" height=\"338\" src=\"";
    page += url;
    page += "\" showcontrols=\"0\" showstatusbar=\"1\"></object></body></html>";
    return page;
}

std::string RealPlayerAddress(std::string_view streamUrl) {
    std::string address =
        "about:<body bgcolor=\"black\" style=\"margin:0;overflow:hidden;\"><object width=550px "
        "height=338px classid=CLSID:CFCDAA03-8BE4-11CF-B84B-0020AFBBCCFA><param name=\"src\" "
        "value=\"";
    address += EscapeForMarkup(streamUrl);
    address +=
        "\" /><param name=\"center\" value=\"false\" /><param name=\"maintainaspect\" "
        "value=\"true\" /><param name=\"autostart\" value=\"true\" /><param name=\"controls\" "
        "value=\"imagewindow,0\" /></object></body> </body>";
    return address;
}

std::string WinampAddress(std::string_view streamUrl) {
    const std::string url = EscapeForMarkup(streamUrl);
    std::string address =
        "about:<body bgcolor=\"black\" style=\"margin:0;overflow:hidden;\"><object "
        "type=\"video/x-ms-wmv\" data=\"";
    address += url;
    address += "\" width=\"550px\" height=\"370px\"><param name=\"src\" value=\"";
    address += url;
    address += "\" valuetype=\"ref\" type=\"";
    address += url;
    address +=
        "\"><param name=\"animationatStart\" value=\"1\"><param name=\"transparentatStart\" "
        "value=\"0\"><param name=\"ShowStatusBar\" value=\"True\"><param name=\"ShowControls\" "
        "value=\"0\"></object> </body>";
    return address;
}

}  // namespace qova::playback
