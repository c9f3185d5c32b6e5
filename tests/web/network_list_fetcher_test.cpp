// Added lists fetched against real sockets on 127.0.0.1: several at once, none held up by one
// whose server trickles or streams, and nothing left open.
#include "web/network_list_fetcher.h"

#include <gtest/gtest.h>

#include <QTest>
#include <map>
#include <string>
#include <vector>

#include "testkit/fifo_watch.h"
#include "testkit/loopback_http_server.h"
#include "testkit/temp_folder.h"

namespace qova::web {
namespace {

using Outcome = platform::ListFetcher::Outcome;
constexpr int kWaitLimitMs = 10000;

platform::ListFetcher::Converted asItCame(std::string_view page) {
    return {std::string(page), 1};
}

// A list here is read on the window's thread: one that is no regular file (a FIFO, a device) is
// never opened, where it would hold the window until someone writes to it.
TEST(NetworkListFetcher, ListsComeSideBySideAndNoneWaitsForOneThatTricklesStreamsOrIsNoFile) {
    constexpr int kRate = 16 * 1024;
    testkit::LoopbackHttpServer server;
    server.trickle("/slow.m3u", "#EXTM3U\n", "audio/x-mpegurl", kRate);
    server.trickle("/radio.mp3", "\xFF\xFB\x90\x64", "audio/mpeg", kRate);
    server.serve("/a.txt", "A|Video|One|u1|EN\n");
    server.serve("/b.txt", "B|Radio|Two|u2|EN\n");
    server.serve("/replaced.txt", "C|Radio|Three|u3|EN\n");
    testkit::TempFolder folder;
    folder.write("list.txt", "A|Video|One|u1|EN\n");
    const testkit::FifoWatch fifo(folder.file("fifo.m3u"));
    NetworkListFetcher fetcher(nullptr, 1000, 1500);
    std::map<std::string, Outcome> outcomes;
    std::vector<std::string> order;
    const auto fetch = [&](const std::string& address) {
        fetcher.fetch(address, &asItCame, [&, address](Outcome outcome) {
            outcomes[address] = std::move(outcome);
            order.push_back(address);
        });
    };
    for (const char* path : {"/slow.m3u", "/radio.mp3", "/a.txt", "/b.txt", "/replaced.txt"})
        fetch(server.url(path));
    const std::vector<std::string> here = {fifo.path(), "file://" + fifo.path(), "/dev/zero",
                                           "file://" + folder.file("list.txt")};
    for (const std::string& address : here)
        fetch(address);
    // Fetched again: only the second fetch is heard of. Cancelled: never.
    fetch(server.url("/a.txt"));
    fetcher.cancel(server.url("/replaced.txt"));
    EXPECT_TRUE(outcomes.empty());

    ASSERT_TRUE(QTest::qWaitFor([&] { return outcomes.size() == 8; }, kWaitLimitMs));
    EXPECT_EQ(order.back(), server.url("/slow.m3u"));
    const auto of = [&](const char* path) { return outcomes[server.url(path)]; };
    EXPECT_EQ(of("/a.txt").lines, "A|Video|One|u1|EN\n");
    // As the conversion counted them, away from this thread.
    EXPECT_EQ(of("/a.txt").channels, 1u);
    EXPECT_EQ(of("/radio.mp3").channels, 0u);
    EXPECT_EQ(of("/a.txt").when.size(), 16u);  // "2026-12-06 19:05"
    EXPECT_EQ(of("/b.txt").error, "");
    EXPECT_EQ(of("/radio.mp3").error, "The address gives a stream, not a list.");
    EXPECT_EQ(of("/slow.m3u").error, "The transfer took longer than 1 minute.");
    EXPECT_EQ(server.requestCount("/a.txt"), 1);
    EXPECT_EQ(server.requestCount("/replaced.txt"), 0);
    for (std::size_t i = 0; i < 3; ++i)
        EXPECT_EQ(outcomes[here[i]].error, "Not found.") << here[i];
    EXPECT_EQ(outcomes[here[3]].lines, "A|Video|One|u1|EN\n");
    EXPECT_EQ(fifo.opened(), 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return server.openConnections() == 0; }, kWaitLimitMs));
    EXPECT_EQ(order.size(), 8u);
}

TEST(NetworkListFetcher, ADestroyedFetcherIsHeardOfNoMoreAndLeavesNothingOpen) {
    testkit::LoopbackHttpServer server;
    server.hang("/hang.m3u");
    int heard = 0;
    {
        NetworkListFetcher fetcher(nullptr, 5000);
        fetcher.fetch(server.url("/hang.m3u"), &asItCame, [&](Outcome) { ++heard; });
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return server.requestCount("/hang.m3u") == 1; }, kWaitLimitMs));
    }
    EXPECT_TRUE(QTest::qWaitFor([&] { return server.openConnections() == 0; }, kWaitLimitMs));
    EXPECT_EQ(heard, 0);
}

}  // namespace
}  // namespace qova::web
