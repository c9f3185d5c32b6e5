#pragma once

#include <QObject>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <string>

class QNetworkAccessManager;
class QNetworkReply;

namespace qova::web {

/// How long a guide's download may take in all: large guides are hundreds of megabytes.
inline constexpr int kGuideTransferLimitMs = 10 * 60 * 1000;
/// The most a guide's download may hold as it comes, compressed or not.
inline constexpr std::int64_t kMaxGuideDownloadBytes = std::int64_t{2} * 1024 * 1024 * 1024;

/// Fetches one guide from the web into a new file beside its cached copy, a piece at a time as
/// it comes, never holding it: asks only for a newer one than the copy (ETag, Last-Modified),
/// follows safe redirects alone and gives up at the limits of time and size.
class GuideDownload : public QObject {
    Q_OBJECT
  public:
    struct Result {
        enum class Kind { Fetched, NotModified, Failed };
        Kind kind = Kind::Failed;
        /// The new file beside the copy, for the caller to put in its place or remove.
        std::string file;
        std::string etag;
        std::string lastModified;
        std::string error;
    };

    GuideDownload(QObject* parent, int noAnswerTimeoutMs,
                  int transferLimitMs = kGuideTransferLimitMs,
                  std::int64_t maxBytes = kMaxGuideDownloadBytes);
    ~GuideDownload() override;

    /// Starts the download of a web address; done is called once, later, on this thread.
    void start(const std::string& address, const std::string& copy, const std::string& etag,
               const std::string& lastModified, std::function<void(Result)> done);

  private:
    void finish(Result result);
    void received();

    QNetworkAccessManager* network_;
    QNetworkReply* reply_ = nullptr;
    QTimer limit_;
    int noAnswerMs_;
    std::int64_t maxBytes_;
    int fd_ = -1;
    std::string temp_;
    std::int64_t written_ = 0;
    std::function<void(Result)> done_;
};

}  // namespace qova::web
