#pragma once

#include <cstddef>
#include <string>

#include "guide/channel_matching.h"
#include "guide/guide_collection.h"
#include "guide/guide_input.h"

namespace qova::guide {

/// The longest description kept, cut at a character's start; titles and the rest are cut at
/// kMaxGuideTextBytes.
inline constexpr std::size_t kMaxDescriptionBytes = 1024;
inline constexpr std::size_t kMaxGuideTextBytes = 256;

/// How reading a guide ended.
struct ReadOutcome {
    enum class Result { Whole, Broken, TooLarge, NotAGuide };
    Result result = Result::NotAGuide;
    /// Where the document broke, in words, for a guide that is not whole.
    std::string error;
    std::size_t programmesKept = 0;
};

/// What a guide's reading is bounded to: programmes that run within [from, to).
struct ReadWindow {
    UnixTime from = 0;
    UnixTime to = 0;
};

/// Streams an XMLTV guide past the matcher: each <channel> is offered with its display names,
/// and the programmes of the guide channels some list wants, within the window, are kept in
/// programmes, their strings in pool; everything else is skipped as it goes by. Tolerates what
/// real guides hold: one long line, elements it does not know, entities without a DTD, CDATA,
/// anything after </tv>. A guide is whole when </tv> was reached.
ReadOutcome ReadXmltv(GuideInput& input, ChannelMatcher& matcher, ReadWindow window,
                      StringPool& pool, GuideProgrammes& programmes);

}  // namespace qova::guide
