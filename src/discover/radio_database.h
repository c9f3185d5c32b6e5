#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "discover/radio_servers.h"

namespace qova::discover {

/// What a GET brought.
struct HttpAnswer {
    /// The HTTP status of the answer; 0 when none came whole (the server could not be reached,
    /// broke off, was too slow or sent too much).
    int status = 0;
    std::string body;
    /// Why no whole answer came, in words; "" when one did.
    std::string error;
};

/// GETs over HTTP and HTTPS with the program's User-Agent, each bounded in bytes and in time,
/// redirects staying on http and https. Answers come later, on the thread that asked.
class HttpGetter {
  public:
    virtual ~HttpGetter() = default;
    /// Starts a GET; the number it returns cancels it.
    virtual std::uint64_t get(const std::string& url, std::size_t maxBytes,
                              std::function<void(HttpAnswer)> done) = 0;
    /// Drops a GET under way: its done is never called.
    virtual void cancel(std::uint64_t request) = 0;
};

/// The radio station database's calls, each made of the server RadioServers chooses and, when
/// that server is down, slow, failing or answering with what is no JSON, of the next, until one
/// answers or none is left.
class RadioDatabase {
  public:
    struct Answer {
        std::string body;
        /// Why no server answered, in words for the windows; "" when one did.
        std::string error;
    };
    /// The most a country list, a search or a count may bring.
    static constexpr std::size_t kMaxAnswerBytes = std::size_t{4} * 1024 * 1024;

    RadioDatabase(HttpGetter& http, RadioServers& servers);
    ~RadioDatabase();
    RadioDatabase(const RadioDatabase&) = delete;
    RadioDatabase& operator=(const RadioDatabase&) = delete;

    /// Asks for a path ("/json/countries") of maxBytes at most; done later, never from within
    /// this call. The number returned cancels it.
    std::uint64_t request(const std::string& path, std::size_t maxBytes,
                          std::function<void(Answer)> done);
    void cancel(std::uint64_t request);

    /// Counts a play of a station, as the database asks its clients to at each start; what it
    /// answers is of no further use.
    void countPlay(const std::string& stationId);

  private:
    struct Request {
        std::string path;
        std::size_t maxBytes = 0;
        std::function<void(Answer)> done;
        std::size_t tries = 0;
        std::uint64_t get = 0;  // the GET under way, 0 for none
    };
    void ask(std::uint64_t id);
    void answered(std::uint64_t id, const std::string& base, HttpAnswer answer);
    void finish(std::uint64_t id, Answer answer);

    HttpGetter& http_;
    RadioServers& servers_;
    std::map<std::uint64_t, Request> requests_;
    std::uint64_t lastId_ = 0;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

/// Whether an answer of the database is the server failing rather than the call: no answer, a
/// server error, or a body that is no JSON at all.
bool IsServerFailure(const HttpAnswer& answer);

}  // namespace qova::discover
