#include "player/mpv_player.h"

#include <mpv/client.h>
#include <mpv/render.h>

#include <QPointer>
#include <QThreadPool>
#include <QUrl>
#include <QtGlobal>
#include <algorithm>
#include <array>
#include <clocale>
#include <cmath>
#include <cstring>
#include <limits>
#include <utility>

#include "platform/address_policy.h"
#include "platform/stream_address.h"
#include "platform/text.h"
#include "player/mpv_library.h"
#include "player/mpv_values.h"
#include "player/player_page.h"
#include "stream/stream_relay.h"

namespace qova::player {
namespace {

using namespace mpv_values;

using platform::StreamFacts;

constexpr const char* kLoadFileCommand = "loadfile";
constexpr const char* kReplaceFlag = "replace";
constexpr const char* kStopCommand = "stop";

constexpr const char* kLoopFileProperty = "loop-file";
constexpr const char* kLoopForever = "inf";
constexpr const char* kLoopNever = "no";
constexpr const char* kAnalysisProperty = "demuxer-lavf-analyzeduration";
constexpr const char* kShortAnalysis = "0.1";
constexpr const char* kFullAnalysis = "0";

constexpr const char* kTerminationProperty = "demuxer-termination-timeout";
constexpr const char* kTerminateAtOnce = "0";
constexpr const char* kTerminateGracefully = "0.1";

constexpr std::chrono::milliseconds kReturnMemoryAfter{2000};

}  // namespace

void MpvPlayer::HandleDeleter::operator()(mpv_handle* handle) const {
    mpv_terminate_destroy(handle);
}

namespace {

StreamKeeper::Limits keeperLimits(const MpvPlayerOptions& options) {
    StreamKeeper::Limits limits;
    if (!options.reconnectWaitsMs.empty())
        limits.waitsMs = options.reconnectWaitsMs;
    if (options.stallLimitMs > 0)
        limits.stallLimitMs = options.stallLimitMs;
    if (options.bufferingShownAfterMs > 0)
        limits.bufferingShownAfterMs = options.bufferingShownAfterMs;
    return limits;
}

}  // namespace

MpvPlayer::MpvPlayer(MpvPlayerOptions options, QObject* parent)
    : QObject(parent),
      options_(std::move(options)),
      keeper_(keeperLimits(options_), [this] { retry(); }) {
    connect(&keeper_, &StreamKeeper::reconnecting, this, &MpvPlayer::reconnecting);
    connect(&keeper_, &StreamKeeper::buffering, this, &MpvPlayer::buffering);
    connect(&keeper_, &StreamKeeper::recovered, this, &MpvPlayer::recovered);
    connect(&keeper_, &StreamKeeper::gaveUp, this, [this](const QString& message) {
        const QPointer<MpvPlayer> alive(this);
        emit playbackFailed(message);
        if (alive && idle_)
            setState(State::Stopped);
    });
    // Once a burst of channel changes is over, when the last stream has long started.
    returnMemoryTimer_.setSingleShot(true);
    returnMemoryTimer_.setInterval(kReturnMemoryAfter);
    connect(&returnMemoryTimer_, &QTimer::timeout, this,
            [] { QThreadPool::globalInstance()->start([] { returnFreedMemory(); }); });
}

MpvPlayer::~MpvPlayer() {
    if (handle_)
        mpv_set_wakeup_callback(handle_.get(), nullptr, nullptr);
}

bool MpvPlayer::startEngine() {
    if (handle_)
        return true;
    if (startFailed_)
        return false;
    if (!start()) {
        startFailed_ = true;
        handle_.reset();
        qWarning("Media engine cannot start: %s", startError_.c_str());
        return false;
    }
    return true;
}

void MpvPlayer::prepare() {
    if (handle_ || std::exchange(prepared_, true))
        return;
    // A start meanwhile waits for this load rather than making its own.
    QThreadPool::globalInstance()->start([] { loadEngineLibrary(nullptr, true); });
}

bool MpvPlayer::start() {
    if (!loadEngineLibrary(&startError_, true))
        return false;
    handle_.reset(mpv_create());
    if (!handle_) {
        const char* numeric = std::setlocale(LC_NUMERIC, nullptr);
        startError_ =
            numeric && std::strcmp(numeric, "C") != 0
                ? "cannot create a libmpv instance under LC_NUMERIC=" + std::string(numeric)
                : "cannot create a libmpv instance";
        return false;
    }
    std::vector<MpvEngineOption> engineOptions = mpvEngineOptions(options_);
    // What the user chose before the engine was needed.
    engineOptions.push_back({kVolumeProperty, std::to_string(volume_)});
    engineOptions.push_back({kMuteProperty, muted_ ? "yes" : "no"});
    if (!applyEngineOptions(handle_.get(), engineOptions, &startError_))
        return false;
    if (const int rc = mpv_initialize(handle_.get()); rc < 0) {
        startError_ = std::string("cannot initialise libmpv: ") + mpv_error_string(rc);
        return false;
    }
    // Warnings say why a stream fails (refused, not found, timed out) where error codes do not.
    if (const int rc = mpv_request_log_messages(handle_.get(), "warn"); rc < 0) {
        startError_ = std::string("cannot read the engine's messages: ") + mpv_error_string(rc);
        return false;
    }
    for (const ObservedProperty& property : kObservedProperties) {
        const int rc =
            mpv_observe_property(handle_.get(), property.id, property.name, property.format);
        if (rc < 0) {
            startError_ =
                std::string("cannot observe ") + property.name + ": " + mpv_error_string(rc);
            return false;
        }
    }
    mpv_set_wakeup_callback(handle_.get(), &MpvPlayer::wakeup, this);
    return true;
}

void MpvPlayer::wakeup(void* player) {
    // Runs on a libmpv thread: only hand the work to the Qt thread, once per batch of events.
    auto* self = static_cast<MpvPlayer*>(player);
    if (!self->drainQueued_.exchange(true))
        QMetaObject::invokeMethod(self, &MpvPlayer::drainEvents, Qt::QueuedConnection);
}

void MpvPlayer::failLater(std::uint64_t request, const QString& message) {
    QMetaObject::invokeMethod(
        this,
        [this, request, message] {
            if (request == lastRequest_)
                emit playbackFailed(message);
        },
        Qt::QueuedConnection);
}

void MpvPlayer::play(const std::string& playerAddress) {
    // A channel may carry the HTTP headers its server asks for; the server sees the bare address.
    const platform::StreamAddress split = platform::splitHeaders(playerAddress);
    const std::string& address = split.address;
    if (const auto refused = platform::refusedStreamAddress(address, allowsLocalFile(address))) {
        stop();
        failLater(lastRequest_,
                  QString::fromStdString("The stream cannot be played: " + *refused + "."));
        return;
    }
    keeper_.reset();
    address_ = playerAddress;
    local_ = platform::isLocalAddress(address);
    newChannel_ = true;
    emit streamReplaced();
    load(++lastRequest_);
}

void MpvPlayer::allowLocalFile(const std::string& address) {
    allowedLocalFile_ = platform::splitHeaders(address).address;
}

bool MpvPlayer::allowsLocalFile(const std::string& address) const {
    return !allowedLocalFile_.empty() &&
           platform::splitHeaders(address).address == allowedLocalFile_;
}

void MpvPlayer::expectSoundOnly(const std::string& address) {
    soundOnly_ = platform::splitHeaders(address).address;
}

void MpvPlayer::retry() {
    if (!address_.empty())
        load(++lastRequest_);
}

void MpvPlayer::load(std::uint64_t request) {
    const platform::StreamAddress split = platform::splitHeaders(address_);
    const std::string& address = split.address;
    log_.clear();
    failedWith_.reset();
    brokeWith_.reset();
    leavePause();
    endedWhilePaused_ = false;
    const bool newChannel = std::exchange(newChannel_, false);
    // What a pause of the last channel bounded its cache with is not this one's.
    if (newChannel)
        restoreCacheDefaults();
    // A recording of packets is of one channel.
    if (!packetRecording_.empty()) {
        if (newChannel)
            recordPackets({});
        else
            continuePacketRecording();
    }
    seekable_ = false;
    sized_ = false;
    hls_ = false;
    waitingForData_ = false;
    if (!startEngine()) {
        failLater(request, QStringLiteral("The stream cannot be played: the media engine is not "
                                          "available."));
        return;
    }
    awaitingLoad_ = true;
    // Per file: the demo channels are short local clips meant to run on; a stream that ends
    // has ended.
    const char* loop = local_ ? kLoopForever : kLoopNever;
    if (const int rc = mpv_set_property_string(handle_.get(), kLoopFileProperty, loop); rc < 0)
        qWarning("Cannot set %s: %s", kLoopFileProperty, mpv_error_string(rc));
    // A station's sound is known from its first frames; the engine would otherwise wait for
    // half a second of it to come in real time before it plays. Per file: a playlist, or a
    // stream that may carry a picture, keeps the full look (see isShortAnalysisStream).
    const bool soundOnly = !soundOnly_.empty() && soundOnly_ == address;
    const char* analysis =
        isShortAnalysisStream(address, soundOnly) ? kShortAnalysis : kFullAnalysis;
    if (const int rc = mpv_set_property_string(handle_.get(), kAnalysisProperty, analysis); rc < 0)
        qWarning("Cannot set %s: %s", kAnalysisProperty, mpv_error_string(rc));
    useHeaders(split.headers, address);
    closingFor(loaded_);
    loaded_ = address;
    relayed_.clear();
    loadOptions_ = fileOptions ? fileOptions(address) : std::string();
    // A neighbouring channel kept ready is opened where it is kept, through the relay as the
    // station itself would be. It is known by its line, headers and all.
    std::string target = address;
    if (routeAddress) {
        if (std::string routed = routeAddress(address_); routed != address_)
            target = std::move(routed);
    }
    if (relaying(target, split.headers)) {
        if (!relay_)
            relay_ = std::make_unique<stream::StreamRelay>();
        relay_->route(target, newChannel, [this, request](const std::string& open) {
            if (request == lastRequest_ && awaitingLoad_)
                loadFile(request, open);
        });
        return;
    }
    loadFile(request, target);
}

bool MpvPlayer::relaying(const std::string& address,
                         const std::vector<platform::HttpHeader>& headers) const {
    // Cookies go only to the host they name, which the relay's address is not.
    const bool cookies = std::any_of(headers.begin(), headers.end(),
                                     [](const auto& header) { return header.first == "Cookie"; });
    // The relay takes a station's certificate as libmpv does by default; an engine told otherwise
    // (its tls- options) meets https stations itself.
    const bool https = QUrl(QString::fromStdString(address)).scheme() == QLatin1String("https");
    return options_.relayStreams && !local_ && !cookies && !(meetsHttpsItself() && https) &&
           stream::StreamRelay::relays(address);
}

bool MpvPlayer::meetsHttpsItself() const {
    return std::any_of(options_.moreEngineOptions.begin(), options_.moreEngineOptions.end(),
                       [](const auto& option) { return option.first.starts_with("tls-"); });
}

void MpvPlayer::loadFile(std::uint64_t request, const std::string& address) {
    if (address != loaded_)
        relayed_ = address;
    const std::string& options = loadOptions_;
    const char* args[] = {
        kLoadFileCommand,
        address.c_str(),
        kReplaceFlag,
#if MPV_CLIENT_API_VERSION >= MPV_MAKE_VERSION(2, 3)
        // Where in the playlist: later engines ask before the options.
        options.empty() ? nullptr : "-1",
#endif
        options.empty() ? nullptr : options.c_str(),
        nullptr
    };
    if (const int rc = mpv_command_async(handle_.get(), request, args); rc < 0) {
        awaitingLoad_ = false;
        firstCurrentEntry_ = std::numeric_limits<std::int64_t>::max();
        failLater(request, QString::fromStdString(endFileMessage(MPV_END_FILE_REASON_ERROR, rc)));
    }
}

void MpvPlayer::closingFor(const std::string& address) {
    // The engine closes the stream that plays before it opens the next, waiting up to this long
    // for the reader to finish its work. An HTTP reader has nothing to say to its server, but is
    // often blocked in a read that only the wait's end cancels: a switch waits for nothing.
    const char* timeout = closesWithGoodbye(address) ? kTerminateGracefully : kTerminateAtOnce;
    if (const int rc = mpv_set_property_string(handle_.get(), kTerminationProperty, timeout);
        rc < 0)
        qWarning("Cannot set %s: %s", kTerminationProperty, mpv_error_string(rc));
}

void MpvPlayer::useHeaders(const std::vector<platform::HttpHeader>& headers,
                           const std::string& address) {
    std::string userAgent = kEngineUserAgent;
    std::string referrer;
    std::string cookies;
    std::vector<std::string> others;
    // The names and values are those a line may give (see platform::splitHeaders).
    for (const auto& [name, value] : headers) {
        if (name == "User-Agent")
            userAgent = value;
        else if (name == "Referer")
            referrer = value;
        else if (name == "Cookie")
            cookies = hostBoundCookies(value, address);
        else
            others.push_back(name + ": " + value);
    }
    mpv_set_property_string(handle_.get(), "user-agent", userAgent.c_str());
    mpv_set_property_string(handle_.get(), "referrer", referrer.c_str());
    // A list node, so that commas in a value need no escaping.
    std::vector<mpv_node> items(others.size());
    for (std::size_t i = 0; i < others.size(); ++i) {
        items[i].format = MPV_FORMAT_STRING;
        items[i].u.string = others[i].data();
    }
    mpv_node_list list{static_cast<int>(items.size()), items.data(), nullptr};
    mpv_node node;
    node.format = MPV_FORMAT_NODE_ARRAY;
    node.u.list = &list;
    if (const int rc =
            mpv_set_property(handle_.get(), "http-header-fields", MPV_FORMAT_NODE, &node);
        rc < 0)
        qWarning("Cannot give the stream its headers: %s", mpv_error_string(rc));
    // A Cookie header would go wherever the engine is sent, a redirect's other host included;
    // its cookies option sends each cookie only to the host it names.
    mpv_node cookieValue;
    cookieValue.format = MPV_FORMAT_STRING;
    cookieValue.u.string = cookies.data();
    char cookieKey[] = "cookies";
    char* keys[] = {cookieKey};
    mpv_node_list options{cookies.empty() ? 0 : 1, &cookieValue, keys};
    mpv_node map;
    map.format = MPV_FORMAT_NODE_MAP;
    map.u.list = &options;
    if (const int rc = mpv_set_property(handle_.get(), "stream-lavf-o", MPV_FORMAT_NODE, &map);
        rc < 0)
        qWarning("Cannot give the stream its cookies: %s", mpv_error_string(rc));
}

void MpvPlayer::stop() {
    emit streamReplaced();
    ++lastRequest_;
    awaitingLoad_ = false;
    failedWith_.reset();
    brokeWith_.reset();
    // Between a break and its next try nothing is loaded: the engine will say nothing more.
    if (keeper_.trying() && idle_) {
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (idle_ && !keeper_.trying())
                    setState(State::Stopped);
            },
            Qt::QueuedConnection);
    }
    keeper_.reset();
    leavePause();
    address_.clear();
    firstCurrentEntry_ = std::numeric_limits<std::int64_t>::max();
    if (!handle_)
        return;
    closingFor(std::exchange(loaded_, std::string()));
    const char* args[] = {kStopCommand, nullptr};
    if (const int rc = mpv_command_async(handle_.get(), 0, args); rc < 0)
        qWarning("Cannot stop playback: %s", mpv_error_string(rc));
}

void MpvPlayer::readTextMap(const char* name, std::function<void(const TextMap&)> done) {
    const std::uint64_t read = ++lastRead_;
    if (handle_ && mpv_get_property_async(handle_.get(), read, name, MPV_FORMAT_NODE) >= 0) {
        reads_.emplace(read, std::move(done));
        return;
    }
    // Answered all the same, with nothing, so that a reader never waits for what cannot come.
    QMetaObject::invokeMethod(
        this, [done = std::move(done)] { done({}); }, Qt::QueuedConnection);
}

void MpvPlayer::sendCommand(const std::vector<std::string>& words) {
    if (!handle_)
        return;
    std::vector<const char*> args;
    for (const std::string& word : words)
        args.push_back(word.c_str());
    args.push_back(nullptr);
    // Reply number 0: no request of the player's own.
    if (const int rc = mpv_command_async(handle_.get(), 0, args.data()); rc < 0)
        qWarning("Cannot give the engine %s: %s", words.empty() ? "" : words.front().c_str(),
                 mpv_error_string(rc));
}

int MpvPlayer::createRenderContext(mpv_render_context** context, mpv_render_param* params) {
    if (!handle_)
        return MPV_ERROR_UNINITIALIZED;
    return mpv_render_context_create(context, handle_.get(), params);
}

}  // namespace qova::player
