#include "ui/guide_service.h"

#include <QDateTime>
#include <cstdio>

#include "platform/address_policy.h"
#include "platform/text.h"
#include "ui/background_work.h"
#include "web/guide_download.h"

namespace qova::ui {
namespace {

struct CacheFacts {
    std::string etag, lastModified;
    qint64 fetched = 0;
};

CacheFacts readFacts(const platform::TextFiles& files, const std::string& name) {
    CacheFacts facts;
    const auto text = files.read(name + ".txt");
    if (!text)
        return facts;
    platform::LineReader reader(text->view(), platform::LineEnds::AnyBreak);
    std::string_view line;
    while (reader.next(line)) {
        const std::size_t eq = line.find('=');
        const std::string_view key = line.substr(0, eq),
                               value = eq == std::string_view::npos ? "" : line.substr(eq + 1);
        if (key == "etag")
            facts.etag = value;
        else if (key == "last-modified")
            facts.lastModified = value;
        else if (key == "fetched")
            facts.fetched = std::atoll(std::string(value).c_str());
    }
    return facts;
}

std::string agoText(qint64 seconds) {
    if (seconds < 90)
        return "just now";
    if (seconds < 90 * 60)
        return std::to_string((seconds + 30) / 60) + " min ago";
    if (seconds < 36 * 3600)
        return std::to_string((seconds + 1800) / 3600) + " h ago";
    return std::to_string((seconds + 43200) / 86400) + " days ago";
}

}  // namespace

GuideService::GuideService(QObject* parent, platform::TextFiles& files,
                           std::function<GuideChannels()> channels, int noAnswerTimeoutMs)
    : QObject(parent),
      files_(files),
      sources_(files),
      channels_(std::move(channels)),
      noAnswerMs_(noAnswerTimeoutMs) {
    clock = [] { return QDateTime::currentSecsSinceEpoch(); };
    periodic_.setInterval(static_cast<int>(kRefreshSeconds * 1000));
    connect(&periodic_, &QTimer::timeout, this, [this] { refresh(); });
    // Lists arrive one after another at start: their channels are matched once they settle.
    debounce_.setSingleShot(true);
    debounce_.setInterval(2000);
    connect(&debounce_, &QTimer::timeout, this, [this] {
        anyFresh_ = true;
        refresh();
    });
}

GuideService::~GuideService() = default;

std::string GuideService::path(const std::string& name) const {
    return files_.path(name);
}

void GuideService::load() {
    sources_.load();
    if (!sources_.any())
        return;
    store_ = guide::GuideStore::open(path(guide::kGuideStoreFile));
    periodic_.start();
    emit changed();
    refresh();
}

guide::GuideStore::NowNext GuideService::nowNext(const std::string& channel) const {
    return store_ ? store_->nowNext(channel, clock()) : guide::GuideStore::NowNext{};
}

std::vector<std::string> GuideService::channelsShowing(const std::string& query) {
    if (!store_)
        return {};
    if (!titles_)
        titles_ = std::make_unique<guide::GuideTitleSearch>(*store_);
    return titles_->channelsShowing(query, clock(), clock() + 86400);
}

std::string GuideService::coverageText(const std::string& list) const {
    if (!store_)
        return {};
    for (const guide::ListCoverage& coverage : store_->lists()) {
        if (coverage.list == list)
            return "guide: " + std::to_string(coverage.matched) + " of " +
                   std::to_string(coverage.channels) + " channels, updated " +
                   agoText(clock() - store_->built());
    }
    return {};
}

void GuideService::listRead(const std::string& list, const guide::PlaylistHints& hints) {
    const bool hadAny = sources_.any();
    const bool guidesChanged = sources_.listRead(list, hints);
    if (!sources_.any())
        return;
    if (!hadAny)
        periodic_.start();
    if (guidesChanged)
        debounce_.start();
}

void GuideService::channelsChanged() {
    if (sources_.any())
        debounce_.start();
}

void GuideService::refresh(bool force) {
    if (!sources_.any())
        return;
    if (running_ || downloads_ > 0) {
        again_ = true;
        return;
    }
    fetchDue(force);
}

void GuideService::fetchDue(bool force) {
    pending_.clear();
    fetching_.clear();
    const qint64 now = clock();
    for (const std::string& address : sources_.guides()) {
        Pending p;
        p.address = address;
        if (platform::isLocalAddress(address)) {
            p.file =
                platform::localFilePath(platform::resolvedAgainst(address, files_.programFolder()));
            // A local guide is read where it lies, as often as the store is built.
            p.fresh = true;
            pending_.push_back(std::move(p));
            continue;
        }
        const std::string cache = guide::GuideCacheName(address);
        p.file = path(cache);
        const CacheFacts facts = readFacts(files_, cache);
        p.etag = facts.etag;
        p.lastModified = facts.lastModified;
        const bool young = facts.fetched != 0 && now - facts.fetched < kRefreshSeconds &&
                           platform::isRegularFile(p.file);
        pending_.push_back(std::move(p));
        if (young && !force)
            continue;
        const std::size_t index = pending_.size() - 1;
        auto download = std::make_unique<web::GuideDownload>(this, noAnswerMs_);
        ++downloads_;
        download->start(address, pending_[index].file, facts.etag, facts.lastModified,
                        [this, index](web::GuideDownload::Result result) {
                            Pending& got = pending_[index];
                            using Kind = web::GuideDownload::Result::Kind;
                            if (result.kind == Kind::Fetched) {
                                got.newFile = result.file;
                                got.etag = result.etag;
                                got.lastModified = result.lastModified;
                                got.fresh = true;
                            } else if (result.kind == Kind::Failed) {
                                error_ = got.address + ": " + result.error;
                            }
                            if (result.kind != Kind::Failed) {
                                files_.replace(
                                    guide::GuideCacheName(got.address) + ".txt",
                                    "etag=" + got.etag + "\r\nlast-modified=" + got.lastModified +
                                        "\r\nfetched=" + std::to_string(clock()) + "\r\n");
                            }
                            downloaded(index);
                        });
        fetching_.push_back(std::move(download));
    }
    if (downloads_ == 0)
        build();
}

void GuideService::downloaded(std::size_t) {
    if (--downloads_ == 0)
        QTimer::singleShot(0, this, [this] {
            fetching_.clear();
            build();
        });
}

void GuideService::build() {
    bool fresh = anyFresh_ || !store_;
    guide::BuildRequest request;
    for (const Pending& p : pending_) {
        fresh = fresh || (p.fresh && !p.newFile.empty());
        const std::string& file = p.newFile.empty() ? p.file : p.newFile;
        if (platform::isRegularFile(file))
            request.guideFiles.push_back(file);
    }
    if (!fresh || request.guideFiles.empty()) {
        emit changed();
        return;
    }
    anyFresh_ = false;
    const GuideChannels channels = channels_();
    std::vector<std::pair<std::string, std::string_view>> added;
    for (const auto& [list, lines] : channels.addedLists)
        added.emplace_back(list, lines);
    sources_.fillRequest(channels.directoryLines, channels.directoryAddress, added, request);
    request.now = clock();
    request.storePath = path(guide::kGuideStoreFile);
    running_ = true;
    emit changed();
    runInBackground(
        this, [request = std::move(request)] { return guide::BuildGuideStore(request); },
        [this](const guide::BuildResult& result) { built(result); });
}

void GuideService::built(const guide::BuildResult& result) {
    running_ = false;
    for (Pending& p : pending_) {
        if (p.newFile.empty())
            continue;
        // A guide that read whole takes its copy's place; one that did not is dropped, and the
        // copy kept is what the store goes on from.
        if (!result.written || std::rename(p.newFile.c_str(), p.file.c_str()) != 0)
            std::remove(p.newFile.c_str());
        p.newFile.clear();
    }
    if (result.written) {
        error_.clear();
        if (auto reopened = guide::GuideStore::open(path(guide::kGuideStoreFile))) {
            titles_.reset();
            store_ = std::move(reopened);
        }
    } else {
        error_ = result.error;
    }
    emit changed();
    if (again_) {
        again_ = false;
        refresh();
    }
}

}  // namespace qova::ui
