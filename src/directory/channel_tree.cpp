#include "directory/channel_tree.h"

#include "directory/channel_record.h"
#include "directory/directory_lines.h"
#include "platform/text.h"
#include "state/favourite_lines.h"

namespace qova::directory {

void BeginTreeRebuild(state::MainContext& ctx) {
    platform::TreeView& tree = ctx.controls.trView;
    ctx.channels.forgetPlayingNode();
    tree.refresh();
    if (tree.nodeCount() > 1)
        tree.selectNode(1);
    tree.setDisplayEnabled(false);
}

void EndTreeRebuild(state::MainContext& ctx) {
    ctx.controls.trView.setDisplayEnabled(true);
    ctx.controls.trView.setBackColour(kListBackColour);
}

void AddChannelNode(state::MainContext& ctx, std::string_view record, std::string_view name,
                    bool favourite) {
    ctx.channels.add(record, name, favourite ? kFavouriteImage : 0,
                     ctx.controls.cmbCountry.backColour(), ctx.controls.cmbCountry.foreColour());
}

void FillTreeFromDirectory(state::MainContext& ctx) {
    ctx.channels.clear();
    DirectoryLines reader(ctx);
    const std::string country = ctx.controls.cmbCountry.text();
    const state::FavouriteLines favourites(ctx.state.strFavorites);
    const state::KeyedCollection& countries =
        platform::equalsIgnoreCase(ctx.state.strCategory, kCategoryVideo)
            ? ctx.state.colVideoCountries
            : ctx.state.colRadioCountries;
    std::string_view line;
    while (reader.next(line)) {
        std::string_view category;
        std::string_view lineCountry;
        std::string_view name;
        if (!platform::fieldAt(line, kChannelName, name))
            continue;
        platform::fieldAt(line, kCategory, category);
        if (!platform::equalsIgnoreCase(category, ctx.state.strCategory))
            continue;
        platform::fieldAt(line, kCountry, lineCountry);
        // The country list shows countries cut to their first characters.
        std::string_view shown = platform::shownText(lineCountry);
        // An added list's country may be listed under the entry of another of its names.
        if (reader.inAddedLists()) {
            if (const std::string* entry = countries.find(shown))
                shown = *entry;
        }
        if (!platform::equalsIgnoreCase(shown, country))
            continue;
        AddChannelNode(ctx, line, name, favourites.contains(line));
    }
}

}  // namespace qova::directory
