#include "directory/country_lists.h"

#include <utility>

#include "directory/added_countries.h"
#include "directory/channel_record.h"
#include "directory/directory_lines.h"
#include "platform/text.h"

namespace qova::directory {

void LoadCountryLists(state::MainContext& ctx) {
    DirectoryLines reader(ctx);
    AddedCountries added(ctx.state.colVideoCountries, ctx.state.colRadioCountries);
    std::string_view line;
    while (reader.next(line)) {
        if (!platform::hasFields(line, kFieldsOfAChannel))
            continue;
        std::string_view country;
        std::string_view category;
        platform::fieldAt(line, kCountry, country);
        platform::fieldAt(line, kCategory, category);
        const bool video = platform::equalsIgnoreCase(category, "video");
        // Listed as shown: a country of megabytes would freeze the list.
        const std::string_view shown = platform::shownText(country);
        if (reader.inAddedLists()) {
            added.place(video, shown);
            continue;
        }
        auto& list = video ? ctx.state.colVideoCountries : ctx.state.colRadioCountries;
        list.add(shown, shown);
    }
}

void FillCountryList(state::MainContext& ctx, std::string_view category) {
    platform::ComboBox& list = ctx.controls.cmbCountry;
    if (category == kCategoryVideo) {
        list.fill(ctx.state.colVideoCountries.items());
    } else if (category == kCategoryRadio) {
        list.fill(ctx.state.colRadioCountries.items());
    } else {
        list.clear();
    }
    list.insertItem(0, kSelectCountry);
    list.setListIndex(0);
}

void RefreshCountryLists(state::MainContext& ctx) {
    ctx.state.colVideoCountries = {};
    ctx.state.colRadioCountries = {};
    LoadCountryLists(ctx);
    platform::ComboBox& list = ctx.controls.cmbCountry;
    if (list.count() == 0)
        return;
    std::string_view category;
    if (platform::equalsIgnoreCase(ctx.state.strCategory, kCategoryVideo)) {
        category = kCategoryVideo;
    } else if (platform::equalsIgnoreCase(ctx.state.strCategory, kCategoryRadio)) {
        category = kCategoryRadio;
    } else {
        return;  // the favourites are shown, which name no country
    }
    const std::string chosen = list.listIndex() > 0 ? list.text() : std::string();
    // The user chose nothing: the list only shows more of what there is.
    auto click = std::exchange(list.onClick, nullptr);
    FillCountryList(ctx, category);
    for (int i = 1; !chosen.empty() && i < list.count(); ++i) {
        if (list.itemText(i) == chosen) {
            list.setListIndex(i);
            break;
        }
    }
    list.onClick = std::move(click);
}

void SwitchCategory(state::MainContext& ctx, std::string_view category,
                    const std::function<void()>& cmbCountry_Click) {
    ctx.channels.forgetPlayingNode();
    if (ctx.controls.cmbCountry.count() == 0)
        return;
    FillCountryList(ctx, category);
    ctx.state.strCategory = std::string(category);
    cmbCountry_Click();
    ctx.controls.cmdFavorite.setPicture(ctx.controls.cmdAddFav.picture());
}

}  // namespace qova::directory
