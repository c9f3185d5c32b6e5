#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "directory/added_lists_file.h"
#include "platform/list_fetcher.h"
#include "state/main_context.h"

namespace qova::directory {

/// The file beside the program that names the lists a user added, one address a line.
inline constexpr const char* kAddedListsFile = "ChannelLists.txt";
/// The most the added lists' channels take together; a list beyond it is left out.
inline constexpr std::size_t kMaxAddedChannelBytes = std::size_t{256} * 1024 * 1024;
/// How many lists are fetched at once: a list whose server trickles holds up no other for as
/// long as its fetch may take, and a few large lists at once stay within memory.
inline constexpr std::size_t kListsFetchedAtOnce = 3;

/// The directory lines of a list the user added, whatever its format: a playlist or a station
/// list converted, or the channel lines of a directory, each ended by CR LF.
std::string ListChannelLines(std::string_view page);
/// The same with the number of channels they name, as the fetcher's worker gives them.
platform::ListFetcher::Converted ConvertedList(std::string_view page);

/// The channel lists a user added beside the directory. Each is fetched in the background,
/// turned into directory lines and kept in a copy beside the program, from which it works until
/// it is fetched again, offline included. Their lines, in the order of the lists, are
/// state.strAddedChannels. A list that cannot be had is only said in its state, never in a
/// message.
class AddedLists {
  public:
    struct List {
        std::string address;
        std::size_t channels = 0;
        /// When its copy was fetched; "" when there is none.
        std::string fetched;
        /// Why the last fetch failed; "" when it did not.
        std::string error;
        bool fetching = false;
        /// Where its lines stand in state.strAddedChannels: [begin, end), empty when it has none
        /// there.
        std::size_t begin = 0;
        std::size_t end = 0;
    };
    enum class AddResult { Added, AlreadyThere, NoAddress, TooMany, CannotWrite };

    AddedLists(state::MainContext& ctx, platform::ListFetcher& fetcher);
    ~AddedLists();
    AddedLists(const AddedLists&) = delete;
    AddedLists& operator=(const AddedLists&) = delete;

    /// Reads the lists and their kept copies, fetching nothing.
    void load();
    /// Fetches every list anew, kListsFetchedAtOnce at a time.
    void refreshAll();
    /// Adds a list at the end and fetches it. The address is taken as written, its spaces at
    /// either end aside.
    AddResult add(std::string_view address);
    /// Removes a list and its copy. False, nothing changed, when the lists file cannot be
    /// written.
    bool remove(std::size_t index);

    const std::vector<List>& lists() const { return lists_; }

    /// Heard after the added channels changed: a list added with channels, fetched or removed.
    std::function<void()> onChannelsChanged;
    /// Hears each list's page as it came, before its conversion, on the fetcher's worker thread:
    /// what else a page says (a playlist's guide) is read there, never on the window's thread.
    std::function<void(const std::string& address, std::string_view page)> onPageRead;
    /// Heard after anything else a list shows changed: a fetch started, or failed.
    std::function<void()> onStateChanged;

  private:
    void fetchNext();
    void fetched(const std::string& address, platform::ListFetcher::Outcome outcome);
    void joinChannels();
    static std::string_view channelLines(const platform::FileText& copy);
    bool save();
    List* find(std::string_view address);
    static std::string copyName(std::string_view address);

    state::MainContext& ctx_;
    platform::ListFetcher& fetcher_;
    std::vector<List> lists_;
    // The file as read and last written, with the lines a user wrote around the lists.
    AddedListsFile file_;
    std::deque<std::string> queue_;
    std::vector<std::string> underWay_;
};

/// How a list fares, as the lists windows say it: "Fetching…", "Up to date", "Not fetched yet",
/// or what went wrong, and that the copy kept is used where there is one.
std::string StateText(const AddedLists::List& list);

}  // namespace qova::directory
