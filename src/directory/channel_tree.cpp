#include "directory/channel_tree.h"

#include "app/favourite_lines.h"
#include "directory/channel_record.h"
#include "platform/text.h"

namespace qova::directory {

void BeginTreeRebuild(app::MainContext& ctx) {
    platform::TreeView& tree = ctx.controls.trView;
    ctx.state.intPlayingNode = 0;
    tree.refresh();
    if (tree.nodeCount() > 1)
        tree.selectNode(1);
    ctx.state.colChannels = app::ChannelRecords();
    tree.setDisplayEnabled(false);
}

void EndTreeRebuild(app::MainContext& ctx) {
    ctx.controls.trView.setDisplayEnabled(true);
    ctx.controls.trView.setBackColour(kListBackColour);
}

void RemoveAllNodes(platform::TreeView& tree) {
    for (int i = tree.nodeCount(); i >= 1; --i)
        tree.removeNode(i);
}

void AddChannelNode(app::MainContext& ctx, std::string_view record, std::string_view name,
                    bool favourite) {
    platform::TreeView& tree = ctx.controls.trView;
    const int node = tree.addNode(std::string(name), favourite ? kFavouriteImage : 0);
    tree.setNodeBackColour(node, ctx.controls.cmbCountry.backColour());
    tree.setNodeForeColour(node, ctx.controls.cmbCountry.foreColour());
    ctx.state.colChannels.add(record, name);
}

void FillTreeFromDirectory(app::MainContext& ctx) {
    RemoveAllNodes(ctx.controls.trView);
    const auto text = ctx.controls.files.read(app::kChannelFile);
    if (!text)
        return;
    const std::string country = ctx.controls.cmbCountry.text();
    const app::FavouriteLines favourites(ctx.state.strFavorites);
    platform::LineReader reader(text->view());
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
        if (!platform::equalsIgnoreCase(lineCountry, country))
            continue;
        AddChannelNode(ctx, line, name, favourites.contains(line));
    }
}

}  // namespace qova::directory
