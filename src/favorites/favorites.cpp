#include "favorites/favorites.h"

#include <unordered_set>

#include "directory/channel_record.h"
#include "directory/channel_tree.h"
#include "directory/list_formats.h"
#include "platform/text.h"
#include "state/favourite_lines.h"

namespace qova::favorites {
namespace {

const platform::Colour kHighlight = platform::Colour::system(platform::kSystemColourHighlight);

void cannotWrite(state::MainContext& ctx) {
    ctx.controls.messages.show("The favourites file \"" +
                               ctx.controls.files.path(state::kFavoritesFile) +
                               "\" cannot be written, so the favourites stay as they were.");
}

/// The file's lines without the first one equal to the record and without empty lines, as
/// the rewritten file's text; false when no line equals the record.
bool withoutRecord(const std::string& file, std::string_view record, std::string& rewritten) {
    bool found = false;
    platform::LineReader reader(file, platform::LineEnds::AnyBreak);
    std::string_view line;
    while (reader.next(line)) {
        if (!found && line == record) {
            found = true;
            continue;
        }
        if (line.empty())
            continue;
        rewritten += line;
        rewritten += "\r\n";
    }
    return found;
}

/// Rewrites the file without the record. False, with nothing changed, when the file cannot
/// be read or written; true also when no line of the file equals the record.
bool removeFromFile(state::MainContext& ctx, std::string_view record) {
    platform::TextFiles& files = ctx.controls.files;
    const auto file = files.read(state::kFavoritesFile);
    const std::string current =
        file ? std::string(platform::withoutByteOrderMark(file->view())) : std::string();
    std::string rewritten;
    if (!withoutRecord(current, record, rewritten))
        return true;
    return files.replace(state::kFavoritesFile, rewritten);
}

}  // namespace

std::string ChannelsToImport(std::string_view list) {
    list = platform::withoutByteOrderMark(list);
    const directory::ListFormat format = directory::RecogniseListFormat(list);
    const std::string lines = format == directory::ListFormat::Native
                                  ? std::string(list)
                                  : directory::ToNativeLines(list, format);
    std::string channels;
    std::unordered_set<std::string_view> seen;
    platform::LineReader reader(lines, platform::LineEnds::AnyBreak);
    std::string_view line;
    while (reader.next(line)) {
        if (!platform::hasFields(line, directory::kFieldsOfAChannel) || !seen.insert(line).second)
            continue;
        channels.append(line).append("\r\n");
    }
    return channels;
}

int AddFavorites(state::MainContext& ctx, std::string_view channels) {
    int added = 0;
    std::unordered_set<std::string_view> known;
    std::string_view line;
    for (platform::LineReader favourites(ctx.state.strFavorites); favourites.next(line);)
        known.insert(line);
    std::string joined;
    platform::LineReader reader(channels, platform::LineEnds::AnyBreak);
    while (reader.next(line)) {
        if (!platform::hasFields(line, directory::kFieldsOfAChannel) || !known.insert(line).second)
            continue;
        if (added > 0)
            joined.append("\r\n");
        joined.append(line);
        ++added;
    }
    if (added == 0)
        return 0;
    // One append for them all: a list of thousands is one wait for the disk, and a failure
    // leaves the file as it was.
    if (!ctx.controls.files.appendLine(state::kFavoritesFile, joined)) {
        cannotWrite(ctx);
        return 0;
    }
    ctx.state.strFavorites.append(joined).append("\r\n");
    return added;
}

bool RemoveFirstLine(std::string& text, std::string_view record) {
    platform::LineReader reader(text);
    std::string_view line;
    while (reader.next(line)) {
        if (line != record)
            continue;
        const auto start = static_cast<std::size_t>(line.data() - text.data());
        std::size_t end = start + line.size();
        if (text.compare(end, 2, "\r\n") == 0)
            end += 2;
        text.erase(start, end - start);
        return true;
    }
    return false;
}

void ShowFavorites(state::MainContext& ctx) {
    platform::TreeView& tree = ctx.controls.trView;
    tree.setDisplayEnabled(false);
    tree.refresh();
    if (tree.nodeCount() > 1)
        tree.selectNode(1);
    ctx.channels.clear();
    const auto file = ctx.controls.files.read(state::kFavoritesFile);
    if (file) {
        const std::string filter = ctx.controls.cmbCountry.text();
        const bool all = platform::equalsIgnoreCase(filter, kFilterAll);
        platform::LineReader reader(platform::withoutByteOrderMark(file->view()),
                                    platform::LineEnds::AnyBreak);
        std::string_view line;
        while (reader.next(line)) {
            std::string_view category;
            std::string_view name;
            if (!platform::fieldAt(line, directory::kChannelName, name))
                continue;
            platform::fieldAt(line, directory::kCategory, category);
            if (!all && !platform::equalsIgnoreCase(filter, category))
                continue;
            directory::AddChannelNode(ctx, line, name, true);
        }
    }
    tree.setDisplayEnabled(true);
}

void OpenFavoritesView(state::MainContext& ctx) {
    ctx.channels.forgetPlayingNode();
    platform::ComboBox& list = ctx.controls.cmbCountry;
    if (list.count() == 0)
        return;
    ctx.state.strCategory = directory::kCategoryFavorite;
    list.clear();
    for (const char* entry : {kFilterAll, directory::kCategoryVideo, directory::kCategoryRadio}) {
        list.addItem(entry);
    }
    list.setListIndex(0);
    ctx.controls.cmdFavorite.setPicture(ctx.controls.cmdRemoveFav.picture());
    ShowFavorites(ctx);
}

void ToggleFavorite(state::MainContext& ctx) {
    platform::TreeView& tree = ctx.controls.trView;
    state::MainState& mainState = ctx.state;
    const int selected = tree.selectedIndex();
    if (tree.nodeCount() == 0 || selected == 0)
        return;
    const std::string* found = ctx.channels.record(selected);
    if (found == nullptr)
        return;
    const std::string record = *found;
    const bool favourite = state::FavouriteLines(mainState.strFavorites).contains(record);

    if (platform::equalsIgnoreCase(mainState.strCategory, directory::kCategoryFavorite)) {
        if (!favourite)
            return;
        if (!removeFromFile(ctx, record)) {
            cannotWrite(ctx);
            return;
        }
        RemoveFirstLine(mainState.strFavorites, record);
        ctx.channels.remove(selected);
        return;
    }

    if (!favourite) {
        if (!ctx.controls.files.appendLine(state::kFavoritesFile, record)) {
            cannotWrite(ctx);
            return;
        }
        mainState.strFavorites += record;
        mainState.strFavorites += "\r\n";
        tree.setNodeImage(selected, directory::kFavouriteImage);
        ctx.controls.cmdFavorite.setPicture(ctx.controls.cmdRemoveFav.picture());
    } else {
        if (!removeFromFile(ctx, record)) {
            cannotWrite(ctx);
            return;
        }
        RemoveFirstLine(mainState.strFavorites, record);
        tree.setNodeImage(selected, 0);
        ctx.controls.cmdFavorite.setPicture(ctx.controls.cmdAddFav.picture());
    }
    tree.setNodeBackColour(selected, kHighlight);
}

}  // namespace qova::favorites
