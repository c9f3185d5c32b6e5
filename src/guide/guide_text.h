#pragma once

#include <string>

#include "guide/guide_store.h"

namespace qova::guide {

/// "20:00" in the computer's time zone.
std::string ClockText(UnixTime at);
/// "20:00–21:00 Title: Sub-title".
std::string ProgrammeLine(const Programme& programme);
/// The lines the player area and the tree's tool tip show for a channel: the programme running
/// now with its times, a bar of how much of it has run and the minutes left, and the next one.
/// Screen readers read the same. "" when the guide says nothing of now or next.
std::string NowNextText(const GuideStore::NowNext& nowNext, UnixTime at);

}  // namespace qova::guide
