#include "directory/directory_download.h"

#include <string>

#include "directory/channel_record.h"
#include "directory/country_lists.h"
#include "directory/list_formats.h"
#include "platform/text.h"
#include "state/favourite_lines.h"
#include "state/messages.h"

namespace qova::directory {
namespace {

bool StoredDirectoryHasChannels(const platform::TextFiles& files) {
    const auto stored = files.read(state::kChannelFile);
    return stored && HasChannelLine(stored->view());
}

}  // namespace

bool HasChannelLine(std::string_view text) {
    platform::LineReader reader(text);
    std::string_view line;
    while (reader.next(line)) {
        if (platform::hasFields(line, kFieldsOfAChannel))
            return true;
    }
    return false;
}

bool ListPageAsDirectoryLines(std::string& text) {
    const ListFormat format = RecogniseListFormat(text);
    if (format == ListFormat::Native)
        return HasChannelLine(text);
    std::string lines = ToNativeLines(text, format);
    // A page that only looks like a list stays as it came, for the page's completion to judge.
    if (!HasChannelLine(lines))
        return false;
    text = std::move(lines);
    return true;
}

void DirectoryDocumentComplete(state::MainContext& ctx,
                               const std::function<void()>& cmbCountry_Click) {
    platform::WebBrowser& browser = ctx.controls.wbDownload;
    state::MainState& mainState = ctx.state;
    if (browser.readyState() == platform::WebBrowser::kReadyStateComplete &&
        mainState.strNavError.empty() && browser.hasDocument()) {
        const std::string& text = browser.bodyText();
        if (!text.empty()) {
            // A playlist or a station list comes as the directory lines it names, so that
            // everything downstream reads it as it reads the program's own; the browser's worker
            // made them and said whether there is a channel, so the page is not read again here.
            std::string lines;
            lines.reserve(text.size() + 2);
            lines.append(text).append("\r\n");
            if (!browser.textFound() && StoredDirectoryHasChannels(ctx.controls.files)) {
                // A captive portal's login page or an error page served as a success: the
                // service was not reached, and a directory that has channels is worth more.
                DirectoryNavigateError(ctx, platform::WebBrowser::kStatusResourceNotFound);
            } else {
                // The disk is not waited for: this run goes on with the text as stored; a write
                // that fails keeps the file of an earlier run for the next one.
                ctx.controls.files.replaceInBackground(state::kChannelFile, std::move(lines));
            }
        }
    }
    if (!platform::equalsIgnoreCase(mainState.strConfigKey, "URLTXT"))
        return;

    // Read afresh rather than added to, so that the text keeps mirroring the file and one
    // removal takes a favourite out of both.
    mainState.strFavorites = state::ReadFavouritesText(ctx.controls.files);
    LoadCountryLists(ctx);
    ctx.controls.trView.attachImageList();
    FillCountryList(ctx, kCategoryVideo);
    mainState.strCategory = kCategoryVideo;
    cmbCountry_Click();
}

void DirectoryNavigateError(state::MainContext& ctx, std::int32_t statusCode) {
    // Recorded before the message: the error page completes while the message is open.
    ctx.state.strNavError = std::to_string(statusCode);
    if (statusCode == 404) {
        ctx.controls.messages.show(state::kMessageChannelsMissing);
    } else if (statusCode == platform::WebBrowser::kStatusResourceNotFound) {
        ctx.controls.messages.show(state::kMessageNoConnection);
    }
}

}  // namespace qova::directory
