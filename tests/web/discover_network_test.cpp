// The discover window's sources reached over real sockets on 127.0.0.1 and the system's own
// resolver: every request names the program, no answer grows beyond its bound or outlasts its
// time, a redirect never leaves the web, and the DNS answers forwards and backwards.
#include "web/discover_network.h"

#include <gtest/gtest.h>

#include <QTest>
#include <map>

#include "discover/sources.h"
#include "testkit/loopback_http_server.h"

namespace qova::web {
namespace {

constexpr int kWaitLimitMs = 10000;

TEST(DiscoverNetwork, AnswersNameTheProgramStayBoundedAndOnTheWeb) {
    testkit::LoopbackHttpServer server;
    server.serve("/json/countries", R"([{"name":"Austria","iso_3166_1":"AT"}])",
                 "application/json");
    server.serve("/large", std::string(3000, 'x'), "application/json");
    server.serve("/missing-page", "gone", "text/plain", 404);
    server.hang("/slow");
    server.redirect("/to-file", "file:///etc/hostname");
    server.redirect("/to-countries", server.url("/json/countries"));
    server.trickle("/stream", "\xFF\xFB\x90\x64", "audio/mpeg", 16 * 1024);
    server.garbage("/garbage");
    NetworkGetter getter(nullptr, 1000, 2000);
    std::map<std::string, discover::HttpAnswer> answers;
    for (const char* path : {"/json/countries", "/large", "/missing-page", "/slow", "/to-file",
                             "/to-countries", "/stream", "/garbage"}) {
        getter.get(server.url(path), 2048,
                   [&answers, path](discover::HttpAnswer answer) { answers[path] = answer; });
    }
    getter.get("file:///etc/hostname", 2048,
               [&answers](discover::HttpAnswer answer) { answers["file"] = answer; });
    const std::uint64_t dropped =
        getter.get(server.url("/json/countries"), 2048, [&](auto) { answers["dropped"] = {}; });
    getter.cancel(dropped);
    ASSERT_TRUE(QTest::qWaitFor([&] { return answers.size() == 9; }, kWaitLimitMs));

    EXPECT_EQ(answers["/json/countries"].status, 200);
    EXPECT_EQ(answers["/json/countries"].body, R"([{"name":"Austria","iso_3166_1":"AT"}])");
    const std::string head = server.lastRequestHead("/json/countries");
    EXPECT_NE(head.find("User-Agent: " + discover::UserAgent() + "\r\n"), std::string::npos)
        << head;
    EXPECT_EQ(discover::UserAgent(), "QOVA/" QOVA_VERSION);
    EXPECT_EQ(answers["/to-countries"].status, 200);
    EXPECT_EQ(answers["/large"].status, 0);
    EXPECT_EQ(answers["/large"].error, "The answer is larger than 0 MiB.");
    EXPECT_EQ(answers["/missing-page"].status, 404);
    EXPECT_EQ(answers["/slow"].status, 0);
    EXPECT_EQ(answers["/stream"].error, "The address gives a stream, not a list.");
    EXPECT_EQ(answers["/garbage"].status, 0);
    for (const char* elsewhere : {"/to-file", "file"}) {
        EXPECT_EQ(answers[elsewhere].status, 0) << elsewhere;
        EXPECT_EQ(answers[elsewhere].body, "") << elsewhere;
    }
    EXPECT_EQ(answers.count("dropped"), 0u);
    EXPECT_TRUE(QTest::qWaitFor([&] { return server.openConnections() == 0; }, kWaitLimitMs));
}

TEST(DiscoverNetwork, TheResolverLooksNamesUpBothWays) {
    HostResolver resolver(nullptr, 5000);
    std::vector<std::string> addresses{"none yet"};
    std::string name = "none yet";
    std::string noName = "none yet";
    resolver.addressesOf("localhost", [&](std::vector<std::string> each) { addresses = each; });
    resolver.nameOf("127.0.0.1", [&](std::string each) { name = each; });
    resolver.nameOf("not an address", [&](std::string each) { noName = each; });
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return addresses != std::vector<std::string>{"none yet"} && name != "none yet" &&
                   noName != "none yet";
        },
        kWaitLimitMs));
    EXPECT_NE(std::find(addresses.begin(), addresses.end(), "127.0.0.1"), addresses.end());
    EXPECT_EQ(name.substr(0, 9), "localhost");
    EXPECT_EQ(noName, "");
}

}  // namespace
}  // namespace qova::web
