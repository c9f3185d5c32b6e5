#include "guide/guide_search.h"

#include "platform/text.h"

namespace qova::guide {

std::vector<std::string> GuideTitleSearch::channelsShowing(std::string_view query, UnixTime from,
                                                           UnixTime to) {
    std::vector<std::string> words;
    const std::string foldedQuery = platform::foldedForSearch(query);
    std::string_view rest = foldedQuery;
    while (!rest.empty()) {
        const std::size_t start = rest.find_first_not_of(' ');
        if (start == std::string_view::npos)
            break;
        rest.remove_prefix(start);
        const std::size_t end = rest.find(' ');
        words.emplace_back(rest.substr(0, end));
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end);
    }
    std::vector<std::string> channels;
    if (words.empty())
        return channels;
    for (std::size_t i = 0; i < store_.channelCount(); ++i) {
        for (const Programme& programme : store_.programmesOf(i, from, to)) {
            if (programme.title.empty())
                continue;
            auto [at, added] = folded_.try_emplace(programme.title.data());
            if (added)
                at->second = platform::foldedForSearch(programme.title);
            bool all = true;
            for (const std::string& word : words)
                all = all && at->second.find(word) != std::string::npos;
            if (all) {
                channels.emplace_back(store_.channelName(i));
                break;
            }
        }
    }
    return channels;
}

}  // namespace qova::guide
