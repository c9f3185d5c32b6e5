#include "directory/added_lists.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "directory/channel_record.h"
#include "directory/list_formats.h"
#include "platform/address_policy.h"
#include "platform/text.h"

namespace qova::directory {
namespace {

// The first line of a kept copy: when it was fetched. Without a "|" it is no channel.
constexpr std::string_view kCopyHeader = "#qova-list fetched=";

std::size_t countChannels(std::string_view lines) {
    std::size_t count = 0;
    platform::LineReader reader(lines);
    std::string_view line;
    while (reader.next(line))
        count += platform::hasFields(line, kFieldsOfAChannel) ? 1 : 0;
    return count;
}

}  // namespace

std::string ListChannelLines(std::string_view page) {
    page = platform::withoutByteOrderMark(page);
    const ListFormat format = RecogniseListFormat(page);
    if (format != ListFormat::Native)
        return ToNativeLines(page, format);
    std::string lines;
    platform::LineReader reader(page, platform::LineEnds::AnyBreak);
    std::string_view line;
    while (reader.next(line)) {
        if (platform::hasFields(line, kFieldsOfAChannel))
            lines.append(line).append("\r\n");
    }
    return lines;
}

platform::ListFetcher::Converted ConvertedList(std::string_view page) {
    std::string lines = ListChannelLines(page);
    const std::size_t channels = countChannels(lines);
    return {std::move(lines), channels};
}

AddedLists::AddedLists(state::MainContext& ctx, platform::ListFetcher& fetcher)
    : ctx_(ctx), fetcher_(fetcher) {}

AddedLists::~AddedLists() {
    // A fetch under way would answer to what is gone.
    for (const std::string& address : underWay_)
        fetcher_.cancel(address);
}

std::string AddedLists::copyName(std::string_view address) {
    // FNV-1a: a name that follows from the address alone, so that a list removed and added
    // again finds nothing of another's.
    char name[48];
    std::snprintf(name, sizeof name, "ChannelList-%016llx.txt",
                  static_cast<unsigned long long>(platform::fnv1a(address)));
    return name;
}

void AddedLists::load() {
    lists_.clear();
    const auto text = ctx_.controls.files.read(kAddedListsFile);
    file_ = AddedListsFile::read(text ? platform::withoutByteOrderMark(text->view())
                                      : std::string_view());
    for (std::string& address : file_.addresses())
        lists_.push_back(List{std::move(address), 0, {}, {}, false, 0, 0});
    for (List& list : lists_) {
        const auto copy = ctx_.controls.files.read(copyName(list.address));
        if (!copy)
            continue;
        std::string_view header;
        platform::LineReader(platform::withoutByteOrderMark(copy->view())).next(header);
        if (header.substr(0, kCopyHeader.size()) == kCopyHeader)
            list.fetched = std::string(header.substr(kCopyHeader.size()));
        list.channels = countChannels(channelLines(*copy));
    }
    joinChannels();
}

std::string_view AddedLists::channelLines(const platform::FileText& copy) {
    std::string_view lines = platform::withoutByteOrderMark(copy.view());
    if (lines.substr(0, kCopyHeader.size()) == kCopyHeader) {
        const std::size_t end = lines.find('\n');
        lines.remove_prefix(end == std::string_view::npos ? lines.size() : end + 1);
    }
    return lines;
}

void AddedLists::joinChannels() {
    std::vector<platform::FileText> copies;
    std::vector<List*> joinedLists;
    std::vector<std::string> localCopies;
    std::size_t size = 0;
    for (List& list : lists_) {
        list.begin = list.end = 0;
        const std::string name = copyName(list.address);
        auto copy = ctx_.controls.files.read(name);
        if (!copy)
            continue;
        // The copies may have been edited or grown by hand: memory stays bounded all the same.
        if (size + channelLines(*copy).size() + 2 > kMaxAddedChannelBytes) {
            list.error = "Left out: the lists together are larger than " +
                         std::to_string(kMaxAddedChannelBytes / (1024 * 1024)) + " MiB.";
            continue;
        }
        size += channelLines(*copy).size() + 2;
        copies.push_back(std::move(*copy));
        joinedLists.push_back(&list);
        // A list that is itself a file here may name files here (see state::LocalSources).
        if (platform::isLocalAddress(list.address))
            localCopies.push_back(name);
    }
    ctx_.state.localListCopies = std::move(localCopies);
    std::string joined;
    joined.reserve(size);
    for (std::size_t i = 0; i < copies.size(); ++i) {
        joinedLists[i]->begin = joined.size();
        joined.append(channelLines(copies[i]));
        if (!joined.empty() && joined.back() != '\n')
            joined.append("\r\n");
        joinedLists[i]->end = joined.size();
    }
    ctx_.state.strAddedChannels = std::move(joined);
}

void AddedLists::refreshAll() {
    for (List& list : lists_) {
        if (std::find(queue_.begin(), queue_.end(), list.address) == queue_.end() &&
            std::find(underWay_.begin(), underWay_.end(), list.address) == underWay_.end())
            queue_.push_back(list.address);
    }
    fetchNext();
}

void AddedLists::fetchNext() {
    bool started = false;
    // Bounded by the queue: every pass takes one list off it.
    while (underWay_.size() < kListsFetchedAtOnce && !queue_.empty()) {
        std::string address = std::move(queue_.front());
        queue_.pop_front();
        if (List* list = find(address))
            list->fetching = true;
        underWay_.push_back(address);
        platform::ListFetcher::Convert convert = &ConvertedList;
        if (onPageRead) {
            convert = [address, read = onPageRead](std::string_view page) {
                read(address, page);
                return ConvertedList(page);
            };
        }
        fetcher_.fetch(address, std::move(convert),
                       [this, address](platform::ListFetcher::Outcome outcome) {
                           fetched(address, std::move(outcome));
                       });
        started = true;
    }
    if (started && onStateChanged)
        onStateChanged();
}

void AddedLists::fetched(const std::string& address, platform::ListFetcher::Outcome outcome) {
    std::erase(underWay_, address);
    List* list = find(address);
    bool joined = false;
    if (list != nullptr) {
        list->fetching = false;
        const std::size_t channels = outcome.error.empty() ? outcome.channels : 0;
        if (!outcome.error.empty()) {
            list->error = std::move(outcome.error);
        } else if (channels == 0) {
            // Whatever came, the last copy with channels is worth more.
            list->error = "No channel was found in it.";
        } else {
            list->error.clear();
            list->fetched = outcome.when;
            list->channels = channels;
            // Most lists are as they were at the last start: their channels are joined already,
            // and joining them again would have every country rescanned for nothing.
            const auto kept = ctx_.controls.files.read(copyName(address));
            joined = !kept || channelLines(*kept) != outcome.lines;
            std::string copy;
            copy.reserve(kCopyHeader.size() + outcome.when.size() + 2 + outcome.lines.size());
            copy.append(kCopyHeader).append(outcome.when).append("\r\n").append(outcome.lines);
            ctx_.controls.files.replaceInBackground(copyName(address), std::move(copy));
            if (joined)
                joinChannels();
        }
    }
    if (joined && onChannelsChanged)
        onChannelsChanged();
    if (onStateChanged)
        onStateChanged();
    fetchNext();
}

AddedLists::AddResult AddedLists::add(std::string_view address) {
    address = platform::trimmed(address);
    if (address.empty() || address.size() > kMaxListAddressBytes)
        return AddResult::NoAddress;
    if (find(address) != nullptr)
        return AddResult::AlreadyThere;
    if (lists_.size() >= kMaxAddedLists)
        return AddResult::TooMany;
    lists_.push_back(List{std::string(address), 0, {}, {}, false, 0, 0});
    if (!save()) {
        lists_.pop_back();
        return AddResult::CannotWrite;
    }
    // A copy kept from an earlier time this list was added is not its state now.
    ctx_.controls.files.remove(copyName(address));
    queue_.push_back(std::string(address));
    if (onStateChanged)
        onStateChanged();
    fetchNext();
    return AddResult::Added;
}

bool AddedLists::remove(std::size_t index) {
    if (index >= lists_.size())
        return true;
    const List removed = lists_[index];
    lists_.erase(lists_.begin() + static_cast<std::ptrdiff_t>(index));
    if (!save()) {
        lists_.insert(lists_.begin() + static_cast<std::ptrdiff_t>(index), removed);
        return false;
    }
    std::erase(queue_, removed.address);
    if (std::erase(underWay_, removed.address) > 0)
        fetcher_.cancel(removed.address);
    ctx_.controls.files.remove(copyName(removed.address));
    joinChannels();
    if (removed.channels > 0 && onChannelsChanged)
        onChannelsChanged();
    if (onStateChanged)
        onStateChanged();
    fetchNext();
    return true;
}

bool AddedLists::save() {
    std::vector<std::string> addresses;
    for (const List& list : lists_)
        addresses.push_back(list.address);
    AddedListsFile file = file_.written(addresses);
    if (!ctx_.controls.files.replace(kAddedListsFile, file.text()))
        return false;
    file_ = std::move(file);
    return true;
}

AddedLists::List* AddedLists::find(std::string_view address) {
    const auto found = std::find_if(lists_.begin(), lists_.end(),
                                    [&](const List& list) { return list.address == address; });
    return found == lists_.end() ? nullptr : &*found;
}

std::string StateText(const AddedLists::List& list) {
    if (list.fetching)
        return "Fetching\u2026";
    if (!list.error.empty())
        return list.error + (list.fetched.empty() ? "" : " The copy kept is used.");
    return list.fetched.empty() ? "Not fetched yet" : "Up to date";
}

}  // namespace qova::directory
