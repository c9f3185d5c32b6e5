#pragma once

#include <QObject>
#include <QThreadPool>
#include <map>
#include <memory>
#include <vector>

#include "platform/list_fetcher.h"
#include "web/page_loading.h"

namespace qova::web {

/// Fetches added channel lists over Qt's network stack, with the rules of the directory's own
/// page (safe redirects, the time-out, the size limit, streams given up at once), each bounded
/// to transferLimitMs in all, and converts them on a worker thread. Fetches run side by side;
/// their conversions take turns, so that memory holds one list's conversion at a time.
class NetworkListFetcher : public QObject, public platform::ListFetcher {
    Q_OBJECT
  public:
    NetworkListFetcher(QObject* parent, int noAnswerTimeoutMs,
                       int transferLimitMs = kListTransferLimitMs);
    ~NetworkListFetcher() override;

    void fetch(const std::string& address, Convert convert,
               std::function<void(Outcome)> done) override;
    void cancel(const std::string& address) override;

    /// Why a page could not be had, as the lists window says it.
    static std::string failureText(const FetchedPage& page, int transferLimitMs);

  private:
    struct Fetch {
        // Counts fetches, so that what a replaced fetch still hears is dropped.
        quint64 id = 0;
        std::unique_ptr<PageFetcher> pages;
        Convert convert;
        std::function<void(Outcome)> done;
    };

    void arrived(const std::string& address, quint64 id, FetchedPage page);
    void finish(const std::string& address, quint64 id, Outcome outcome);
    Fetch* find(const std::string& address, quint64 id);
    void retire(std::unique_ptr<PageFetcher> pages);

    FetchLimits limits_;
    std::map<std::string, Fetch> fetches_;
    quint64 lastId_ = 0;
    // Fetchers whose page has come, let go once the call that brought it has returned.
    std::vector<std::unique_ptr<PageFetcher>> retired_;
    QThreadPool conversions_;
};

}  // namespace qova::web
