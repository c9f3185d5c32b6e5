#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace qova::directory {

/// How many lists are kept, and the longest address read back; the file may have been edited.
inline constexpr std::size_t kMaxAddedLists = 100;
inline constexpr std::size_t kMaxListAddressBytes = 4096;

/// ChannelLists.txt as a user may have edited it: one address a line, spaces at either end
/// aside. A line that starts with "#" is a comment; an address named before, one longer than
/// kMaxListAddressBytes and every one after the first kMaxAddedLists are not read. Every line
/// is kept, so that the program's rewrites leave what a user wrote in its place.
class AddedListsFile {
  public:
    /// The file's text, its byte-order mark taken off already.
    static AddedListsFile read(std::string_view text);

    /// The addresses of the lists read, in file order.
    std::vector<std::string> addresses() const;

    /// The file for the lists given: the lines of lists still there and every other line stay in
    /// their places; those of lists gone go, with any other line that names them, so that a
    /// removal stays one; lists new to the file follow at the end.
    AddedListsFile written(const std::vector<std::string>& addresses) const;

    /// The file's text, each line ended by CR LF.
    std::string text() const;

  private:
    struct Line {
        std::string text;
        bool list = false;  // read as a list's address
    };
    std::vector<Line> lines_;
};

}  // namespace qova::directory
