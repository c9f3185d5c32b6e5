#pragma once

#include <functional>
#include <string_view>

#include "state/main_context.h"

namespace qova::directory {

/// Adds the countries of Channel.txt and of the added lists to the Video and Radio country
/// lists. Countries already listed are not added again; a missing file adds nothing. A country
/// of the added lists joins the entry of the same country under another of its names
/// (AddedCountries).
void LoadCountryLists(state::MainContext& ctx);

/// Refills the country list from the country list of a category ("Video" or "Radio", exactly),
/// puts "Select Country" first and selects it, which raises the list's Click.
void FillCountryList(state::MainContext& ctx, std::string_view category);

/// After the added lists changed: the country lists made anew, and the country list shown
/// refilled with the same country selected, raising nothing; the tree stays as it is until a
/// country is chosen. Nothing is shown before the directory has been processed.
void RefreshCountryLists(state::MainContext& ctx);

/// The TV and Radio buttons: switches to a category, leaving the tree empty until a country is
/// chosen. Does nothing before the directory has been processed.
void SwitchCategory(state::MainContext& ctx, std::string_view category,
                    const std::function<void()>& cmbCountry_Click);

}  // namespace qova::directory
