#pragma once

#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "guide/guide_search.h"
#include "guide/guide_sources.h"
#include "guide/guide_store.h"

namespace qova::web {
class GuideDownload;
}

namespace qova::ui {

/// The channels a build matches, copied from the window's state so that a worker may read them.
struct GuideChannels {
    std::string directoryLines;
    std::string directoryAddress;
    std::vector<std::pair<std::string, std::string>> addedLists;
};

/// The programme guide as the windows use it: the store mapped at start, so now and next are
/// there at once; the guides fetched (each at most every six hours, only when newer), read and
/// stored on a worker thread, and the store swapped in when a whole one is written. While no
/// guide is known it does nothing at all and writes nothing.
class GuideService : public QObject {
    Q_OBJECT
  public:
    /// How often a guide is fetched again at most.
    static constexpr qint64 kRefreshSeconds = 6 * 3600;

    GuideService(QObject* parent, platform::TextFiles& files,
                 std::function<GuideChannels()> channels, int noAnswerTimeoutMs);
    ~GuideService() override;

    /// Maps the store of the last run and starts a refresh where one is due.
    void load();
    /// Fetches every guide that is due (all of them when forced) and builds the store anew.
    void refresh(bool force = false);
    /// What a list's page said for the guide, as its conversion found it.
    void listRead(const std::string& list, const guide::PlaylistHints& hints);
    /// The lists' channels changed: the store is built again from the guides kept.
    void channelsChanged();

    guide::GuideSources& sources() { return sources_; }
    /// The store in use; nothing before a guide was first stored.
    const guide::GuideStore* store() const { return store_.get(); }
    guide::GuideStore::NowNext nowNext(const std::string& channel) const;
    /// The channels with a programme of the next 24 hours whose title has every word of query.
    std::vector<std::string> channelsShowing(const std::string& query);
    /// "guide: 812 of 950 channels, updated 2 h ago" for a list; "" without a guide.
    std::string coverageText(const std::string& list) const;
    /// Why the last refresh failed; "" when it did not.
    const std::string& error() const { return error_; }
    bool busy() const { return running_ || downloads_ > 0; }

    /// Seconds since 1970 as the guide counts them; a test may set its own clock.
    std::function<qint64()> clock;

  signals:
    /// A new store is in use, or the guides' state changed.
    void changed();

  private:
    struct Pending {
        std::string address;
        std::string file;
        std::string newFile;
        std::string etag, lastModified;
        bool fresh = false;
    };
    void fetchDue(bool force);
    void downloaded(std::size_t index);
    void build();
    void built(const guide::BuildResult& result);
    std::string path(const std::string& name) const;

    platform::TextFiles& files_;
    guide::GuideSources sources_;
    std::function<GuideChannels()> channels_;
    int noAnswerMs_;
    std::unique_ptr<guide::GuideStore> store_;
    // Goes before the store it reads.
    std::unique_ptr<guide::GuideTitleSearch> titles_;
    std::vector<Pending> pending_;
    std::vector<std::unique_ptr<web::GuideDownload>> fetching_;
    std::size_t downloads_ = 0;
    bool running_ = false;
    bool again_ = false;
    bool anyFresh_ = false;
    std::string error_;
    QTimer periodic_;
    QTimer debounce_;
};

}  // namespace qova::ui
