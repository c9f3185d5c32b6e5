#pragma once

#include <QByteArray>
#include <QTcpServer>
#include <map>
#include <string>

class QTcpSocket;

namespace qova::testkit {

/// A small HTTP/1.1 server on 127.0.0.1, at a port the system picks, for tests that load pages
/// over real sockets. It lives in the test's thread and answers only while the test runs the
/// event loop (QTest::qWaitFor and the like). Every answer closes its connection. Paths that
/// were not set up are answered with 404. Destroying the server closes every connection.
class LoopbackHttpServer {
  public:
    LoopbackHttpServer();
    ~LoopbackHttpServer();

    LoopbackHttpServer(const LoopbackHttpServer&) = delete;
    LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

    quint16 port() const;
    /// The address of a path on this server, e.g. url("/list.txt").
    std::string url(const std::string& path = "/") const;

    /// Answers requests for the path with this body.
    void serve(const std::string& path, const std::string& body,
               const std::string& contentType = "text/plain", int status = 200);
    /// Answers requests for the path with a redirect to another address.
    void redirect(const std::string& path, const std::string& location, int status = 302);
    /// Accepts requests for the path and never answers them; their connections stay open until
    /// the client gives up or the server is destroyed.
    void hang(const std::string& path);
    /// Announces the whole body's length, sends its first half and closes the connection.
    void cutOff(const std::string& path, const std::string& body,
                const std::string& contentType = "text/plain");

    /// Announces the whole body's length, sends its first half and then nothing more, keeping
    /// the connection open until the client gives up or the server is destroyed.
    void stall(const std::string& path, const std::string& body,
               const std::string& contentType = "text/plain");

    /// Answers without a length and sends bytes of this pattern for as long as the client reads,
    /// as a radio stream does, up to kEndlessLimit bytes.
    void endless(const std::string& path, const std::string& pattern,
                 const std::string& contentType = "text/plain");
    static constexpr qint64 kEndlessLimit = qint64{1} << 30;
    /// Answers without a length and sends bytes of this pattern at a steady rate, as a radio
    /// station does, whether the client reads or not, with these extra header lines ("icy-name:
    /// Test\r\n"), for kTrickleLimitMs at most.
    void trickle(const std::string& path, const std::string& pattern,
                 const std::string& contentType, int bytesPerSecond,
                 const std::string& extraHeaders = {});
    static constexpr int kTrickleLimitMs = 180 * 1000;
    /// How many bytes of body the server has handed to the network for the path.
    qint64 bytesSent(const std::string& path) const;

    /// How many requests for the path have arrived (the query part is not counted apart).
    int requestCount(const std::string& path) const;
    /// The head (request line and header fields) of the last request for the path; empty when
    /// none came.
    std::string lastRequestHead(const std::string& path) const;
    /// How many connections are open now: accepted, and not yet closed by either side.
    int openConnections() const;
    /// The most connections that were open at once since the server started.
    int peakConnections() const { return peak_; }

    /// Answers requests for the path with bytes that are no HTTP answer, then closes.
    void garbage(const std::string& path);

    /// From now on, served pages, redirects and 404s leave their connection open for the
    /// client's next request, as HTTP/1.1 servers do, until the client closes it.
    void keepConnectionsAlive() { keepAlive_ = true; }

  private:
    enum class Answer { Serve, Redirect, Hang, CutOff, Stall, Endless, Trickle, Garbage };
    struct Route {
        Answer answer = Answer::Serve;
        QByteArray body;
        QByteArray contentType;
        int status = 200;
        QByteArray location;
        int bytesPerSecond = 0;
        QByteArray extraHeaders;
    };

    struct Connection {
        QByteArray head;
        bool answered = false;
    };

    void acceptPending();
    void readRequest(QTcpSocket* socket, Connection& connection);
    // Whether the connection stays open for another request.
    bool answer(QTcpSocket* socket, const std::string& path);
    void sendMore(QTcpSocket* socket, const std::string& path, const QByteArray& chunk);
    void startTrickle(QTcpSocket* socket, const std::string& path, const Route& route);
    QByteArray head(int status, const QByteArray& contentType, qsizetype contentLength,
                    const QByteArray& extraHeaders = {}) const;

    QTcpServer server_;
    std::map<std::string, Route> routes_;
    std::map<std::string, int> requestCounts_;
    std::map<std::string, qint64> bytesSent_;
    std::map<std::string, std::string> lastHeads_;
    int peak_ = 0;
    bool keepAlive_ = false;
};

/// An http://127.0.0.1:<port>/ address at which nothing listens.
std::string closedPortUrl();

}  // namespace qova::testkit
