#include "directory/country_lists.h"

#include "directory/channel_record.h"
#include "platform/text.h"

namespace qova::directory {

void LoadCountryLists(state::MainContext& ctx) {
    const auto text = ctx.controls.files.read(state::kChannelFile);
    if (!text)
        return;
    platform::LineReader reader(text->view());
    std::string_view line;
    while (reader.next(line)) {
        if (!platform::hasFields(line, kFieldsOfAChannel))
            continue;
        std::string_view country;
        std::string_view category;
        platform::fieldAt(line, kCountry, country);
        platform::fieldAt(line, kCategory, category);
        auto& list = platform::equalsIgnoreCase(category, "video") ? ctx.state.colVideoCountries
                                                                   : ctx.state.colRadioCountries;
        list.add(country, country);
    }
}

void FillCountryList(state::MainContext& ctx, std::string_view category) {
    platform::ComboBox& list = ctx.controls.cmbCountry;
    list.clear();
    const state::KeyedCollection* countries = nullptr;
    if (category == kCategoryVideo) {
        countries = &ctx.state.colVideoCountries;
    } else if (category == kCategoryRadio) {
        countries = &ctx.state.colRadioCountries;
    }
    if (countries != nullptr) {
        for (const std::string& country : countries->items())
            list.addItem(country);
    }
    list.insertItem(0, kSelectCountry);
    list.setListIndex(0);
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
