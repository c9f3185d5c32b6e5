#pragma once

#include <QObject>
#include <memory>

#include "platform/list_fetcher.h"
#include "web/page_loading.h"

namespace qova::web {

/// Fetches added channel lists over Qt's network stack, with the rules of the directory's own
/// page (safe redirects, the time-out, the size limit), and converts them on a worker thread.
class NetworkListFetcher : public QObject, public platform::ListFetcher {
    Q_OBJECT
  public:
    NetworkListFetcher(QObject* parent, int noAnswerTimeoutMs);
    ~NetworkListFetcher() override;

    void fetch(const std::string& address, Convert convert,
               std::function<void(Outcome)> done) override;
    void cancel() override;

    /// Why a page could not be had, as the lists window says it.
    static std::string failureText(std::int32_t status);

  private:
    void arrived(FetchedPage page);
    void finish(Outcome outcome);

    PageFetcher pages_;
    // Counts fetches, so that a conversion finishing after its fetch was replaced is dropped.
    quint64 fetch_ = 0;
    Convert convert_;
    std::function<void(Outcome)> done_;
};

}  // namespace qova::web
