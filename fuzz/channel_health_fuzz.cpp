// ChannelHealth.txt as a user may have edited it: read, and written again with the marks read
// and with one taken away. Reading a rewrite back gives the marks it was written with.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "platform/text.h"
#include "playback/channel_health_file.h"

namespace {

bool same(const qova::playback::HealthMarks& a, const qova::playback::HealthMarks& b) {
    if (a.size() != b.size())
        return false;
    for (auto i = a.begin(), j = b.begin(); i != a.end(); ++i, ++j) {
        if (i->first != j->first || i->second.when != j->second.when ||
            i->second.reason != j->second.reason)
            return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using qova::playback::HealthFile;
    const std::string_view text =
        qova::platform::withoutByteOrderMark({reinterpret_cast<const char*>(data), size});
    // A second mark would be taken off the rewritten text: it is the first line's own byte.
    if (text.starts_with("\xEF\xBB\xBF"))
        return 0;
    const HealthFile file = HealthFile::read(text);
    qova::playback::HealthMarks marks = file.marks();
    if (!same(HealthFile::read(file.written(marks).text()).marks(), marks))
        std::abort();
    if (marks.empty())
        return 0;
    marks.erase(marks.begin());
    const HealthFile fewer = file.written(marks);
    if (!same(HealthFile::read(fewer.text()).marks(), marks))
        std::abort();
    // And written again from there, as the next save of a run does.
    if (fewer.written(marks).text() != fewer.text())
        std::abort();
    return 0;
}
