#include "neighbours/warm_hls.h"

#include <QNetworkReply>
#include <algorithm>

#include "neighbours/warm_stream.h"
#include "platform/stream_address.h"

namespace qova::neighbours {
namespace {

// An engine that has not come by then after a hand-over (it failed first) leaves nothing open.
constexpr int kEngineLimitMs = 10000;
// A live playlist is fetched anew about once a target duration, within these bounds.
constexpr double kShortestReloadS = 1;
constexpr double kLongestReloadS = 30;

std::string addressOf(const QUrl& url) {
    return url.toString(QUrl::FullyEncoded).toStdString();
}

std::string_view textOf(const QByteArray& bytes) {
    return {bytes.constData(), static_cast<std::size_t>(bytes.size())};
}

/// Lets go of the segments held that `kept` does not name.
void keepOnly(std::map<std::string, Fetched>& segments, const std::vector<std::string>& kept) {
    std::erase_if(segments, [&](const auto& segment) {
        return std::find(kept.begin(), kept.end(), segment.first) == kept.end();
    });
}

}  // namespace

bool WarmHls::keepable(const std::string& line) {
    return platform::splitHeaders(line).headers.empty() && WarmStream::keepable(line, false);
}

WarmHls::WarmHls(const std::string& address, const std::string& userAgent, bool wholeWindow,
                 QObject* parent)
    : QObject(parent), userAgent_(QByteArray::fromStdString(userAgent)), wholeWindow_(wholeWindow) {
    reload_.setSingleShot(true);
    connect(&reload_, &QTimer::timeout, this, &WarmHls::reload);
    if (!keepable(address)) {
        QMetaObject::invokeMethod(this, &WarmHls::end, Qt::QueuedConnection);
        return;
    }
    fetch(QUrl(QString::fromStdString(address), QUrl::StrictMode),
          static_cast<qsizetype>(kMaxPlaylistBytes), true,
          [this](Fetched top) { readTop(std::move(top)); });
}

WarmHls::~WarmHls() {
    ended_ = true;
    relay_.reset();
    // The replies under way go before the network access they came from.
    qDeleteAll(findChildren<QNetworkReply*>(Qt::FindDirectChildrenOnly));
}

qsizetype WarmHls::heldBytes() const {
    qsizetype bytes = 0;
    for (const auto& [address, segment] : segments_)
        bytes += segment.body.size();
    return bytes;
}

void WarmHls::fetch(const QUrl& url, qsizetype limit, bool playlist,
                    std::function<void(Fetched)> then) {
    under_ = fetchWhole(network_, url, userAgent_, limit, playlist, this,
                        [this, then = std::move(then)](std::optional<Fetched> fetched) {
                            under_ = nullptr;
                            if (ended_ || relay_)
                                return;
                            if (!fetched)
                                return failed();
                            then(std::move(*fetched));
                        });
}

void WarmHls::readTop(Fetched top) {
    const auto playlist = readHlsPlaylist(textOf(top.body));
    if (!playlist || !HlsRelay::servable(top))
        return end();
    if (!playlist->master()) {
        mediaUrl_ = top.url;
        return readMedia(std::move(top));
    }
    // The engine plays the variant of the highest bandwidth; the others it only looks at.
    const std::string variant =
        httpAddress(addressOf(top.url), playlist->variants[chosenVariant(*playlist)].uri);
    if (variant.empty())
        return end();
    master_ = std::move(top);
    mediaUrl_ = QUrl(QString::fromStdString(variant), QUrl::StrictMode);
    fetch(mediaUrl_, static_cast<qsizetype>(kMaxPlaylistBytes), true,
          [this](Fetched media) { readMedia(std::move(media)); });
}

void WarmHls::readMedia(Fetched media) {
    const auto playlist = readHlsPlaylist(textOf(media.body));
    // Parts of files would have to be kept as the engine asks for them: not worth it.
    if (!playlist || playlist->master() || playlist->byteRanges)
        return failed();
    reload_.setInterval(
        playlist->endList ? 0
                          : static_cast<int>(1000 * std::clamp(playlist->targetDuration,
                                                               kShortestReloadS, kLongestReloadS)));
    const std::string base = addressOf(media.url);
    if (!wholeWindow_ && held_ && heldStillStarts(*playlist, base))
        return renewed();
    // What is held is what the relay serves on hand-over.
    if (!HlsRelay::servable(media))
        return failed();
    const std::size_t start = startSegment(*playlist);
    const std::size_t last = wholeWindow_ ? windowEnd(*playlist) : start + 1;
    Snapshot coming{std::move(media), {}, {}};
    for (std::size_t i = start; i < last; ++i) {
        const HlsSegment& segment = playlist->segments[i];
        // A key or section elsewhere than over plain HTTP the engine fetches itself.
        for (const std::size_t before : {segment.key, segment.map}) {
            std::string address =
                before == kNoSection ? std::string() : httpAddress(base, playlist->section(before));
            if (!address.empty() && std::find(coming.segments.begin(), coming.segments.end(),
                                              address) == coming.segments.end())
                coming.segments.push_back(std::move(address));
        }
        std::string address = httpAddress(base, segment.uri);
        if (address.empty())
            return failed();
        if (i == start)
            coming.start = address;
        coming.segments.push_back(std::move(address));
    }
    coming_ = std::move(coming);
    fetchMissing();
}

bool WarmHls::heldStillStarts(const HlsPlaylist& playlist, const std::string& base) const {
    const std::size_t start = startSegment(playlist);
    for (std::size_t i = start - std::min(start, kStartsBehind); i < playlist.segments.size();
         ++i) {
        if (httpAddress(base, playlist.segments[i].uri) == held_->start)
            return true;
    }
    return false;
}

void WarmHls::fetchMissing() {
    for (const std::string& segment : coming_->segments) {
        if (segments_.count(segment) > 0)
            continue;
        // What is ready and what comes stay within the bound together: a segment may take
        // what is left of it.
        const qsizetype left = (wholeWindow_ ? kWindowLimit : kSegmentLimit) - heldBytes();
        if (left <= 0)
            return failed();
        fetch(QUrl(QString::fromStdString(segment), QUrl::StrictMode), left, false,
              [this, segment](Fetched bytes) {
                  segments_[segment] = std::move(bytes);
                  fetchMissing();
              });
        return;
    }
    // All the newest playlist starts with has come: it is what a hand-over gives now, and
    // nothing older is kept.
    keepOnly(segments_, coming_->segments);
    const bool first = !held_;
    held_ = std::move(coming_);
    coming_.reset();
    renewed();
    if (first)
        emit becameReady();
}

void WarmHls::renewed() {
    failures_ = 0;
    if (reload_.interval() > 0)
        reload_.start();
}

void WarmHls::failed() {
    // Not ready yet, or failing again and again: not ready at all.
    if (!held_ || ++failures_ >= kFailureLimit)
        return end();
    // What was ready stays so; what came for the newest playlist goes.
    keepOnly(segments_, held_->segments);
    coming_.reset();
    if (reload_.interval() > 0)
        reload_.start();
}

void WarmHls::reload() {
    if (ended_ || relay_ || under_)
        return;
    fetch(mediaUrl_, static_cast<qsizetype>(kMaxPlaylistBytes), true,
          [this](Fetched media) { readMedia(std::move(media)); });
}

std::string WarmHls::handOver() {
    if (!ready() || ended_)
        return {};
    auto relay = std::make_unique<HlsRelay>(network_, userAgent_);
    if (!relay->listen())
        return {};
    relay_ = std::move(relay);
    reload_.stop();
    if (under_)
        under_->abort();
    // The variant line of the master names the media playlist as mediaUrl_, whatever
    // redirects its answer went through.
    const std::string top = master_ ? addressOf(master_->url) : addressOf(mediaUrl_);
    if (master_)
        relay_->hold(top, std::move(*master_), HlsReference::Playlist);
    relay_->hold(addressOf(mediaUrl_), std::move(held_->media), HlsReference::Playlist);
    for (const std::string& address : held_->segments) {
        if (const auto segment = segments_.find(address); segment != segments_.end())
            relay_->hold(address, std::move(segment->second), HlsReference::Media);
    }
    master_.reset();
    held_.reset();
    coming_.reset();
    segments_.clear();
    QTimer::singleShot(kEngineLimitMs, this, [this] {
        if (relay_->requests() == 0)
            end();
    });
    return relay_->localAddress(top, HlsReference::Playlist);
}

void WarmHls::end() {
    if (std::exchange(ended_, true))
        return;
    reload_.stop();
    if (under_)
        under_->abort();
    emit ended();
}

}  // namespace qova::neighbours
