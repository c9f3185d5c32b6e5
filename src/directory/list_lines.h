#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/stream_address.h"

/// What the readers of playlists and station lists share: how an entry of a list becomes a
/// directory line.
namespace qova::directory::list_lines {

/// Text a field may hold: no separator, no control character, no blanks at either end.
std::string fieldText(std::string_view text);
/// The first of a list of values, without blanks.
std::string_view firstOf(std::string_view list, std::string_view separators);
/// An address as a directory line can hold it, with the headers asked for.
std::string lineAddress(std::string_view address, std::vector<platform::HttpHeader> headers);
/// Appends a channel's line and CR LF; an empty country is "International".
void appendLine(std::string& out, std::string_view country, bool radio, std::string_view name,
                std::string_view address, std::string_view language);
/// Cuts converted lines back to whole lines within kMaxListLinesBytes.
void keepWithinBound(std::string& lines);

/// An entry's #EXTINF line after "#EXTINF:": its attributes and the name after the comma.
struct ExtInf {
    std::unordered_map<std::string, std::string> attributes;  // lower-cased names
    std::string name;
};
/// <duration> key="value" key=value ...,<display name>.
ExtInf parseExtInf(std::string_view rest);

/// A JSON array of stations as directory lines, each station's id before it when asked.
std::string stationListToNative(std::string_view page, bool stationIds);

}  // namespace qova::directory::list_lines
