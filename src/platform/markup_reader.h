#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qova::platform {

/// The program's reader of page markup: HTML read in one pass, the way a forgiving browser reads
/// it, building no document, so that what reading a page costs stays within a small multiple of
/// its size whatever the page holds. Player pages, directory pages and the pages a list address
/// gives all go through it.

/// The address of the first media player a page embeds: the first <object>'s data attribute,
/// else the src (or url, or filename) parameter of that object, else the first <embed>'s src.
/// Character references are decoded, so the address comes back exactly as it was before it was
/// written into the markup. Nothing when the page embeds no player or gives it no address. Tag
/// and attribute names ignore ASCII case; values may be double-quoted, single-quoted or bare.
std::optional<std::string> embeddedPlayerAddress(std::string_view markup);

/// What a reader sees of a page, as a browser gives it for the page's text (its innerText): its
/// title and the text of its body without markup, runs of white space collapsed except within
/// <pre>, every line given as CR LF and nothing after the last line. Blocks (paragraphs, list
/// items, headings, table cells, ...) each begin a line of their own and <br> ends one. What an
/// embedded player shows in place of its fallback content is no text; scripts and styles are
/// none either.
struct PageText {
    std::string title;
    std::string body;
};
PageText pageText(std::string_view markup);

/// The most attributes a tag keeps, in the order written; more are read past. No page needs as
/// many, and a tag of millions would otherwise cost memory many times its size.
inline constexpr std::size_t kMaxTagAttributes = 64;

}  // namespace qova::platform
