#include "directory/directory_download.h"

#include <string>

#include "directory/channel_record.h"
#include "directory/country_lists.h"
#include "platform/text.h"
#include "state/favourite_lines.h"
#include "state/messages.h"

namespace qova::directory {

void DirectoryDocumentComplete(state::MainContext& ctx,
                               const std::function<void()>& cmbCountry_Click) {
    platform::WebBrowser& browser = ctx.controls.wbDownload;
    state::MainState& mainState = ctx.state;
    if (browser.readyState() == platform::WebBrowser::kReadyStateComplete &&
        mainState.strNavError.empty() && browser.hasDocument()) {
        const std::string& text = browser.bodyText();
        if (!text.empty()) {
            // A failed write keeps the directory of an earlier run, which is used below.
            ctx.controls.files.replaceWithLine(state::kChannelFile, text,
                                               platform::Durability::Durable);
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
