// The radio station database's servers, found as it asks: one address of its common name at
// random, named by reverse DNS and asked over https, the next when it fails, none hard-coded and
// never all at once; and its calls going from a server that fails to the next.
#include "discover/radio_servers.h"

#include <gtest/gtest.h>

#include "discover/radio_database.h"
#include "discover/sources.h"
#include "fakes/fake_discover.h"

namespace qova::discover {
namespace {

using Strings = std::vector<std::string>;

const std::string kStations = R"([{"name":"A","url":"http://127.0.0.1:1/a.mp3"}])";

class RadioServersTest : public ::testing::Test {
  protected:
    RadioServersTest() {
        dns.addresses = {"10.0.0.3", "10.0.0.1", "10.0.0.2", "10.0.0.1"};
        dns.names = {{"10.0.0.1", "de1.api.radio-browser.info."},
                     {"10.0.0.2", "nl1.api.radio-browser.info"},
                     {"10.0.0.3", "at1.api.radio-browser.info"}};
    }
    /// Asks for a path and lets the DNS and the servers answer; the answer the request got.
    RadioDatabase::Answer ask(const std::string& path) {
        RadioDatabase::Answer got{{}, "never answered"};
        database.request(path, RadioDatabase::kMaxAnswerBytes,
                         [&](RadioDatabase::Answer answer) { got = std::move(answer); });
        for (int i = 0; i < 20; ++i) {
            dns.answerAll();
            if (http.underWay().empty())
                break;
            http.answer();
        }
        return got;
    }

    fakes::FakeResolver dns;
    fakes::FakeHttpGetter http;
    std::size_t pick = 1;
    RadioServers servers{dns, {}, [this](std::size_t below) { return pick % below; }};
    RadioDatabase database{http, servers};
};

TEST_F(RadioServersTest, OneServerAtRandomIsNamedAndKeptWhileItAnswers) {
    http.answers["https://de1.api.radio-browser.info/json/countries"] = {200, "[]", {}};
    http.answers["https://nl1.api.radio-browser.info/json/countries"] = {200, "[]", {}};
    // The addresses of the common name, each once; the second of them at random.
    EXPECT_EQ(ask("/json/countries").error, "");
    EXPECT_EQ(dns.hostsAsked, Strings{"all.api.radio-browser.info"});
    EXPECT_EQ(dns.namesAsked, Strings{"10.0.0.2"});
    EXPECT_EQ(http.asked, Strings{"https://nl1.api.radio-browser.info/json/countries"});

    pick = 0;
    RadioServers others{dns, {}, [this](std::size_t below) { return pick % below; }};
    RadioDatabase second{http, others};
    second.request("/json/countries", RadioDatabase::kMaxAnswerBytes, [](auto) {});
    dns.answerAll();
    EXPECT_EQ(http.underWay(), Strings{"https://de1.api.radio-browser.info/json/countries"});
    http.answer();

    // The server that answered is asked again, without a lookup.
    http.asked.clear();
    EXPECT_EQ(ask("/json/countries").error, "");
    EXPECT_EQ(dns.hostsAsked.size(), 2u);
    EXPECT_EQ(http.asked, Strings{"https://nl1.api.radio-browser.info/json/countries"});
}

TEST_F(RadioServersTest, AServerThatFailsGivesWayToTheNextAndNoneLeftIsSaidOnce) {
    // Down, garbage, a server error: each goes for the next; an address without a name is
    // passed over. A call the database itself refuses is no failure of the server.
    dns.names.erase("10.0.0.3");
    dns.addresses.push_back("10.0.0.4");
    dns.names["10.0.0.4"] = "fr1.api.radio-browser.info";
    // fr1's other address is fr1 again.
    dns.addresses.push_back("::5");
    dns.names["::5"] = "fr1.api.radio-browser.info";
    http.answers["https://de1.api.radio-browser.info/x"] = {200, "<html>Welcome</html>", {}};
    http.answers["https://fr1.api.radio-browser.info/x"] = {503, "[]", {}};
    pick = 3;  // fr1, fr1 again, de1, nl1, then the nameless address
    RadioDatabase::Answer answer = ask("/x");
    EXPECT_EQ(answer.error, "No server of the radio station database answers.");
    EXPECT_EQ(http.asked, (Strings{"https://fr1.api.radio-browser.info/x",
                                   "https://de1.api.radio-browser.info/x",
                                   "https://nl1.api.radio-browser.info/x"}));
    EXPECT_EQ(dns.namesAsked, (Strings{"10.0.0.4", "::5", "10.0.0.1", "10.0.0.2", "10.0.0.3"}));

    // The next call begins a new round, with a new lookup.
    http.asked.clear();
    http.answers["https://nl1.api.radio-browser.info/x"] = {404, "Not found", {}};
    http.answers["https://fr1.api.radio-browser.info/x"] = {200, kStations, {}};
    answer = ask("/x");
    EXPECT_EQ(dns.hostsAsked.size(), 2u);
    EXPECT_EQ(answer.error, "");
    EXPECT_EQ(answer.body, kStations);
    http.answers["https://fr1.api.radio-browser.info/y"] = {404, "{}", {}};
    EXPECT_EQ(ask("/y").error, "The radio station database answered 404.");
    EXPECT_EQ(http.asked.back(), "https://fr1.api.radio-browser.info/y");

    // No address at all: no server, and nothing asked.
    dns.addresses.clear();
    RadioServers none{dns, {}, [](std::size_t) { return 0; }};
    RadioDatabase nothing{http, none};
    RadioDatabase::Answer got;
    nothing.request("/x", 10, [&](RadioDatabase::Answer each) { got = std::move(each); });
    const std::size_t asked = http.asked.size();
    dns.answerAll();
    EXPECT_EQ(got.error, "No server of the radio station database answers.");
    EXPECT_EQ(http.asked.size(), asked);
}

TEST_F(RadioServersTest, ServersTheEnvironmentNamesAreUsedInTheirOrderWithoutTheDns) {
    const Sources sources = Sources::fromEnvironment(
        " http://127.0.0.1:8001/ , file:///etc,https://mirror.example/api//,ftp://x", nullptr);
    EXPECT_EQ(sources.radioServers,
              (Strings{"http://127.0.0.1:8001", "https://mirror.example/api"}));
    RadioServers fixed{dns, sources.radioServers, [](std::size_t) { return 1; }};
    RadioDatabase database2{http, fixed};
    http.answers["https://mirror.example/api/json/countries"] = {200, "[]", {}};
    RadioDatabase::Answer got;
    database2.request("/json/countries", 100, [&](RadioDatabase::Answer a) { got = std::move(a); });
    http.answerAll();
    EXPECT_EQ(got.error, "");
    EXPECT_EQ(http.asked, (Strings{"http://127.0.0.1:8001/json/countries",
                                   "https://mirror.example/api/json/countries"}));
    EXPECT_TRUE(dns.hostsAsked.empty());
    EXPECT_TRUE(dns.namesAsked.empty());
}

TEST_F(RadioServersTest, OnlyHostNamesBecomeServers) {
    EXPECT_EQ(ServerBase("DE1.api.radio-browser.info."), "https://de1.api.radio-browser.info");
    for (const char* name : {"", "10.0.0.1:8080", "evil.example/x?", "user@host", "-x.org",
                             ".x.org", "a b", "host\r\nX-Injected: 1"}) {
        EXPECT_EQ(ServerBase(name), "") << name;
    }
    // A reverse name that is no host name is passed over like one that is missing.
    dns.addresses = {"10.0.0.9"};
    dns.names = {{"10.0.0.9", "evil.example/steal?"}};
    EXPECT_EQ(ask("/json/countries").error, "No server of the radio station database answers.");
    EXPECT_TRUE(http.asked.empty());
}

}  // namespace
}  // namespace qova::discover
