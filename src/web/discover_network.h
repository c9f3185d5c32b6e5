#pragma once

#include <QObject>
#include <cstdint>
#include <map>

#include "discover/radio_database.h"
#include "discover/radio_servers.h"

class QNetworkAccessManager;
class QNetworkReply;
class QTimer;

namespace qova::web {

/// The GETs of the discover window's sources over Qt's network stack: the program's User-Agent
/// on every request, the page rules of the directory's own download (safe redirects, the time
/// without an answer, a stream given up at once), each bounded to its bytes and to transferMs in
/// all; an answer that ends anywhere but at an http or https address is none.
class NetworkGetter : public QObject, public discover::HttpGetter {
    Q_OBJECT
  public:
    NetworkGetter(QObject* parent, int noAnswerTimeoutMs, int transferMs);
    ~NetworkGetter() override;

    std::uint64_t get(const std::string& url, std::size_t maxBytes,
                      std::function<void(discover::HttpAnswer)> done) override;
    void cancel(std::uint64_t request) override;

  private:
    struct Get {
        QNetworkReply* reply = nullptr;
        QTimer* limit = nullptr;
        std::size_t maxBytes = 0;
        std::function<void(discover::HttpAnswer)> done;
    };
    void finished(std::uint64_t id);
    void answer(std::uint64_t id, discover::HttpAnswer answer);
    void letConnectionsGo();

    QNetworkAccessManager* network_;
    int noAnswerMs_;
    int transferMs_;
    std::map<std::uint64_t, Get> gets_;
    std::uint64_t lastId_ = 0;
};

/// DNS lookups through Qt's resolver, each given up after timeoutMs as one that found nothing.
class HostResolver : public QObject, public discover::Resolver {
    Q_OBJECT
  public:
    HostResolver(QObject* parent, int timeoutMs);
    ~HostResolver() override;

    void addressesOf(const std::string& host,
                     std::function<void(std::vector<std::string>)> done) override;
    void nameOf(const std::string& address, std::function<void(std::string)> done) override;

  private:
    struct Lookup {
        std::function<void(std::vector<std::string> addresses, std::string name)> done;
        QTimer* limit = nullptr;
    };
    void lookUp(const QString& name,
                std::function<void(std::vector<std::string>, std::string)> done);
    void settle(int id, std::vector<std::string> addresses, std::string name);

    int timeoutMs_;
    std::map<int, Lookup> lookups_;
};

}  // namespace qova::web
