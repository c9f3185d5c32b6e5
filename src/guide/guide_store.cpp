#include "guide/guide_store.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <numeric>
#include <unordered_map>

#include "platform/posix_text_files.h"
#include "platform/text.h"

namespace qova::guide {
namespace {

constexpr char kMagic[8] = {'Q', 'O', 'V', 'A', 'G', 'D', 'S', '1'};
constexpr std::uint32_t kByteOrder = 0x01020304;

// Each is read and written field by field at its offset, never cast over the bytes, so that no
// alignment is assumed of a file or of bytes held elsewhere.
struct Header {
    char magic[8];
    std::uint32_t byteOrder, channels, programmes, lists;
    std::int64_t built;
    std::uint64_t channelsAt, programmesAt, listsAt, stringsAt, stringsSize;
};
struct ChannelRecord {
    std::uint64_t hash;
    std::uint32_t name, guideChannel, first, count;
};
struct ProgrammeRecord {
    std::int64_t start, stop;
    std::uint32_t title, subTitle, description, categories, episode, icon;
};
struct ListRecord {
    std::uint32_t list, matched, channels;
};

template <typename T>
T load(const unsigned char* at) {
    T value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

std::uint64_t nameHash(std::string_view name) {
    return platform::fnv1a(name);
}

// Gives each string of the pool its offset in the strings section, in the order first met.
class StringSection {
  public:
    explicit StringSection(const StringPool& pool) : pool_(pool), offsets_(pool.size(), 0) {}
    std::uint32_t offset(StringPool::Id id) {
        if (id == 0 || id >= offsets_.size() || pool_.view(id).empty())
            return 0;
        if (offsets_[id] == 0) {
            offsets_[id] = static_cast<std::uint32_t>(size_);
            order_.push_back(id);
            size_ += 4 + pool_.view(id).size();
        }
        return offsets_[id];
    }
    std::uint64_t size() const { return size_; }
    const std::vector<StringPool::Id>& order() const { return order_; }

  private:
    const StringPool& pool_;
    std::vector<std::uint32_t> offsets_;
    std::vector<StringPool::Id> order_;
    std::uint64_t size_ = 4;
};

class BufferedFile {
  public:
    explicit BufferedFile(int fd) : fd_(fd) { buffer_.reserve(kBytes); }
    template <typename T>
    void put(const T& value) {
        bytes(std::string_view(reinterpret_cast<const char*>(&value), sizeof value));
    }
    void bytes(std::string_view data) {
        if (buffer_.size() + data.size() > kBytes)
            flush();
        if (data.size() > kBytes)
            ok_ = ok_ && platform::writeAll(fd_, data);
        else
            buffer_.append(data);
    }
    bool flush() {
        ok_ = ok_ && platform::writeAll(fd_, buffer_);
        buffer_.clear();
        return ok_;
    }

  private:
    static constexpr std::size_t kBytes = 1024 * 1024;
    int fd_;
    std::string buffer_;
    bool ok_ = true;
};

}  // namespace

bool WriteGuideStore(const std::string& path, const StoreContent& content) {
    std::vector<std::size_t> order(content.channels.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::vector<std::uint64_t> hashes(content.channels.size());
    for (std::size_t i = 0; i < hashes.size(); ++i)
        hashes[i] = nameHash(content.pool.view(content.channels[i].name));
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return hashes[a] < hashes[b]; });
    StringSection strings(content.pool);
    std::size_t programmes = 0;
    for (const auto& channel : content.channels)
        programmes += channel.programmes.size();
    Header header{};
    std::memcpy(header.magic, kMagic, sizeof kMagic);
    header.byteOrder = kByteOrder;
    header.channels = static_cast<std::uint32_t>(content.channels.size());
    header.programmes = static_cast<std::uint32_t>(programmes);
    header.lists = static_cast<std::uint32_t>(content.lists.size());
    header.built = content.built;
    header.channelsAt = sizeof(Header);
    header.programmesAt = header.channelsAt + sizeof(ChannelRecord) * header.channels;
    header.listsAt = header.programmesAt + sizeof(ProgrammeRecord) * programmes;
    header.stringsAt = header.listsAt + sizeof(ListRecord) * header.lists;
    return platform::replaceFileBy(path, [&](int fd) {
        BufferedFile out(fd);
        // The strings' offsets are known once every record has named them: the header and
        // the records go first, and the strings section's size is put in last.
        out.put(header);
        std::uint32_t first = 0;
        for (const std::size_t i : order) {
            const auto& channel = content.channels[i];
            out.put(ChannelRecord{hashes[i], strings.offset(channel.name),
                                  strings.offset(channel.guideChannel), first,
                                  static_cast<std::uint32_t>(channel.programmes.size())});
            first += static_cast<std::uint32_t>(channel.programmes.size());
        }
        for (const std::size_t i : order) {
            for (const ReadProgramme& p : content.channels[i].programmes) {
                out.put(ProgrammeRecord{p.start, p.stop, strings.offset(p.title),
                                        strings.offset(p.subTitle), strings.offset(p.description),
                                        strings.offset(p.categories), strings.offset(p.episode),
                                        strings.offset(p.icon)});
            }
        }
        for (const StoreContent::List& list : content.lists)
            out.put(ListRecord{strings.offset(list.list), list.matched, list.channels});
        // Four zero bytes: the empty string every absent field names.
        out.put(std::uint32_t{0});
        for (const StringPool::Id id : strings.order()) {
            const std::string_view text = content.pool.view(id);
            out.put(static_cast<std::uint32_t>(text.size()));
            out.bytes(text);
        }
        header.stringsSize = strings.size();
        return out.flush() && strings.size() < UINT32_MAX && programmes < UINT32_MAX &&
               ::pwrite(fd, &header, sizeof header, 0) == static_cast<ssize_t>(sizeof header);
    });
}

std::unique_ptr<GuideStore> GuideStore::open(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return nullptr;
    struct stat st {};
    void* mapped = MAP_FAILED;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size >= 0 &&
        static_cast<std::size_t>(st.st_size) >= sizeof(Header))
        mapped =
            ::mmap(nullptr, static_cast<std::size_t>(st.st_size), PROT_READ, MAP_SHARED, fd, 0);
    ::close(fd);
    if (mapped == MAP_FAILED)
        return nullptr;
    std::unique_ptr<GuideStore> store(new GuideStore);
    store->mapped_ = mapped;
    store->data_ = static_cast<const unsigned char*>(mapped);
    store->size_ = static_cast<std::size_t>(st.st_size);
    return store->validate() ? std::move(store) : nullptr;
}

std::unique_ptr<GuideStore> GuideStore::fromBytes(std::string_view bytes) {
    std::unique_ptr<GuideStore> store(new GuideStore);
    store->data_ = reinterpret_cast<const unsigned char*>(bytes.data());
    store->size_ = bytes.size();
    return store->validate() ? std::move(store) : nullptr;
}

GuideStore::~GuideStore() {
    if (mapped_ != nullptr)
        ::munmap(mapped_, size_);
}

bool GuideStore::validate() {
    if (size_ < sizeof(Header))
        return false;
    const auto h = load<Header>(data_);
    const auto fits = [this](std::uint64_t at, std::uint64_t count, std::uint64_t each) {
        return at <= size_ && count <= (size_ - at) / each;
    };
    if (std::memcmp(h.magic, kMagic, sizeof kMagic) != 0 || h.byteOrder != kByteOrder ||
        !fits(h.channelsAt, h.channels, sizeof(ChannelRecord)) ||
        !fits(h.programmesAt, h.programmes, sizeof(ProgrammeRecord)) ||
        !fits(h.listsAt, h.lists, sizeof(ListRecord)) || !fits(h.stringsAt, h.stringsSize, 1) ||
        h.stringsSize < 4)
        return false;
    for (std::uint32_t i = 0; i < h.channels; ++i) {
        const auto c = load<ChannelRecord>(data_ + h.channelsAt + i * sizeof(ChannelRecord));
        if (c.first > h.programmes || c.count > h.programmes - c.first)
            return false;
    }
    return true;
}

std::string_view GuideStore::string(std::uint32_t offset) const {
    const auto h = load<Header>(data_);
    if (offset == 0 || std::uint64_t{offset} + 4 > h.stringsSize)
        return {};
    const auto length = load<std::uint32_t>(data_ + h.stringsAt + offset);
    if (length > h.stringsSize - offset - 4)
        return {};
    return {reinterpret_cast<const char*>(data_ + h.stringsAt + offset + 4), length};
}

std::optional<std::size_t> GuideStore::find(std::string_view channel) const {
    const auto h = load<Header>(data_);
    const std::uint64_t hash = nameHash(channel);
    const auto record = [&](std::size_t i) {
        return load<ChannelRecord>(data_ + h.channelsAt + i * sizeof(ChannelRecord));
    };
    std::size_t low = 0, high = h.channels;
    while (low < high) {
        const std::size_t mid = low + (high - low) / 2;
        if (record(mid).hash < hash)
            low = mid + 1;
        else
            high = mid;
    }
    for (; low < h.channels && record(low).hash == hash; ++low) {
        if (string(record(low).name) == channel)
            return low;
    }
    return std::nullopt;
}

std::pair<std::size_t, std::size_t> GuideStore::range(std::size_t channel) const {
    const auto h = load<Header>(data_);
    const auto c = load<ChannelRecord>(data_ + h.channelsAt + channel * sizeof(ChannelRecord));
    return {c.first, std::size_t{c.first} + c.count};
}

Programme GuideStore::programme(std::size_t index) const {
    const auto h = load<Header>(data_);
    const auto p = load<ProgrammeRecord>(data_ + h.programmesAt + index * sizeof(ProgrammeRecord));
    return {p.start,
            p.stop,
            string(p.title),
            string(p.subTitle),
            string(p.description),
            string(p.categories),
            string(p.episode),
            string(p.icon)};
}

GuideStore::NowNext GuideStore::nowNext(std::string_view channel, UnixTime at) const {
    NowNext answer;
    const auto index = find(channel);
    if (!index)
        return answer;
    auto [low, high] = range(*index);
    const auto h = load<Header>(data_);
    const auto startOf = [&](std::size_t i) {
        return load<std::int64_t>(data_ + h.programmesAt + i * sizeof(ProgrammeRecord));
    };
    // The first programme starting after the moment; the one before it may be running.
    std::size_t first = low, end = high;
    while (first < end) {
        const std::size_t mid = first + (end - first) / 2;
        if (startOf(mid) <= at)
            first = mid + 1;
        else
            end = mid;
    }
    if (first > low) {
        const Programme before = programme(first - 1);
        if (before.stop > at)
            answer.now = before;
    }
    if (first < high)
        answer.next = programme(first);
    return answer;
}

std::vector<Programme> GuideStore::programmesOf(std::size_t index, UnixTime from,
                                                UnixTime to) const {
    std::vector<Programme> out;
    const auto [low, high] = range(index);
    for (std::size_t i = low; i < high; ++i) {
        const Programme p = programme(i);
        if (p.start >= to)
            break;
        if (p.stop > from)
            out.push_back(p);
    }
    return out;
}

std::vector<Programme> GuideStore::between(std::string_view channel, UnixTime from,
                                           UnixTime to) const {
    const auto index = find(channel);
    return index ? programmesOf(*index, from, to) : std::vector<Programme>{};
}

std::string_view GuideStore::guideChannel(std::string_view channel) const {
    const auto index = find(channel);
    if (!index)
        return {};
    const auto h = load<Header>(data_);
    return string(
        load<ChannelRecord>(data_ + h.channelsAt + *index * sizeof(ChannelRecord)).guideChannel);
}

bool GuideStore::hasChannel(std::string_view channel) const {
    return find(channel).has_value();
}

std::size_t GuideStore::channelCount() const {
    return load<Header>(data_).channels;
}

std::string_view GuideStore::channelName(std::size_t index) const {
    const auto h = load<Header>(data_);
    return string(load<ChannelRecord>(data_ + h.channelsAt + index * sizeof(ChannelRecord)).name);
}

std::vector<ListCoverage> GuideStore::lists() const {
    const auto h = load<Header>(data_);
    std::vector<ListCoverage> out;
    for (std::uint32_t i = 0; i < h.lists; ++i) {
        const auto l = load<ListRecord>(data_ + h.listsAt + i * sizeof(ListRecord));
        out.push_back({std::string(string(l.list)), l.matched, l.channels});
    }
    return out;
}

UnixTime GuideStore::built() const {
    return load<Header>(data_).built;
}

}  // namespace qova::guide
