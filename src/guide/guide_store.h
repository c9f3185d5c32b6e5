#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "guide/guide_collection.h"
#include "guide/guide_time.h"

namespace qova::guide {

/// The file beside the program that holds what the guides say of the lists' channels.
inline constexpr const char* kGuideStoreFile = "Guide.store";

/// One programme as the store gives it; its strings live in the mapped file.
struct Programme {
    UnixTime start = 0;
    UnixTime stop = 0;
    std::string_view title;
    std::string_view subTitle;
    std::string_view description;
    std::string_view categories;
    std::string_view episode;
    std::string_view icon;
};

/// How a list's channels fared against the guides.
struct ListCoverage {
    std::string list;
    std::uint32_t matched = 0;
    std::uint32_t channels = 0;
};

/// What a store is written from: each channel by its name with its programmes in time order,
/// every string an id of the pool.
struct StoreContent {
    struct Channel {
        StringPool::Id name = 0;
        StringPool::Id guideChannel = 0;
        std::vector<ReadProgramme> programmes;
    };
    struct List {
        StringPool::Id list = 0;
        std::uint32_t matched = 0;
        std::uint32_t channels = 0;
    };
    const StringPool& pool;
    std::vector<Channel> channels;
    std::vector<List> lists;
    UnixTime built = 0;
};

/// Writes a store in place of the old one, which a failure leaves whole.
bool WriteGuideStore(const std::string& path, const StoreContent& content);

/// A store file mapped and read in place: a channel's programmes are found by a binary search
/// on its name's hash and one on their times, so a start has now and next at once and only the
/// pages read are memory. Anything in the file is checked before it is trusted.
class GuideStore {
  public:
    /// Nothing for a missing, foreign or damaged file.
    static std::unique_ptr<GuideStore> open(const std::string& path);
    /// The same over bytes held elsewhere, which must outlive the store.
    static std::unique_ptr<GuideStore> fromBytes(std::string_view bytes);
    ~GuideStore();
    GuideStore(const GuideStore&) = delete;
    GuideStore& operator=(const GuideStore&) = delete;

    struct NowNext {
        std::optional<Programme> now;
        std::optional<Programme> next;
    };
    NowNext nowNext(std::string_view channel, UnixTime at) const;
    /// The programmes running at some time of [from, to), in time order.
    std::vector<Programme> between(std::string_view channel, UnixTime from, UnixTime to) const;
    /// The guide channel a channel was matched to; "" for none.
    std::string_view guideChannel(std::string_view channel) const;
    bool hasChannel(std::string_view channel) const;

    /// Every channel's name, in the store's order; with each programme of [from, to) a function
    /// may look at in turn.
    std::size_t channelCount() const;
    std::string_view channelName(std::size_t index) const;
    std::vector<Programme> programmesOf(std::size_t index, UnixTime from, UnixTime to) const;

    std::vector<ListCoverage> lists() const;
    UnixTime built() const;

  private:
    GuideStore() = default;
    bool validate();
    std::optional<std::size_t> find(std::string_view channel) const;
    std::string_view string(std::uint32_t offset) const;
    Programme programme(std::size_t index) const;
    std::pair<std::size_t, std::size_t> range(std::size_t channel) const;

    const unsigned char* data_ = nullptr;
    std::size_t size_ = 0;
    void* mapped_ = nullptr;
};

}  // namespace qova::guide
