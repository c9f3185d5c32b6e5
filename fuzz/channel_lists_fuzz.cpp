// ChannelLists.txt as a user may have edited it: read, and written again for the lists read. The
// rewrite keeps the lists it was given, so that reading it back gives the same lists; and lists
// taken away stay away.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "directory/added_lists_file.h"
#include "platform/text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using qova::directory::AddedListsFile;
    const std::string_view text =
        qova::platform::withoutByteOrderMark({reinterpret_cast<const char*>(data), size});
    // A second mark would be taken off the rewritten text: it is the first line's own byte.
    if (text.starts_with("\xEF\xBB\xBF"))
        return 0;
    const AddedListsFile file = AddedListsFile::read(text);
    const std::vector<std::string> lists = file.addresses();
    if (AddedListsFile::read(file.written(lists).text()).addresses() != lists)
        std::abort();
    if (lists.empty())
        return 0;
    // The first list removed, another added.
    std::vector<std::string> changed(lists.begin() + 1, lists.end());
    changed.push_back(lists.front() + "/other");
    const std::vector<std::string> read =
        AddedListsFile::read(file.written(changed).text()).addresses();
    if (std::find(read.begin(), read.end(), lists.front()) != read.end())
        std::abort();
    return 0;
}
