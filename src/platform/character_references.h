#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qova::platform {

/// Replaces character references (&amp; &eacute; &#39; &#x26; ...) with the characters they
/// stand for, written as UTF-8: the named ones of HTML 4 (and &apos;), each with its semicolon,
/// and numeric ones with or without it. Unknown names and stray ampersands stay as they are.
std::string decodeCharacterReferences(std::string_view text);

/// Reads one reference at the start of text, just after its '&', and appends its character to
/// out. The number of bytes it took; 0, with nothing appended, when none starts there.
std::size_t readCharacterReference(std::string_view text, std::string& out);

}  // namespace qova::platform
