#pragma once

#include <gtest/gtest.h>

#include <string>

#include "testkit/stream_servers.h"

namespace qova::testing {

/// A suite whose tests share loopback streaming servers, started once before its first test and
/// stopped after its last. Where they cannot run, each test is skipped and says so; a fixture's
/// own SetUp calls this one's first and returns when the test IsSkipped().
class ServersSuite : public ::testing::Test {
  protected:
    static void startServers(const testkit::StreamServers::Options& options) {
        std::string why;
        if (testkit::StreamServers::available(&why, options))
            servers = new testkit::StreamServers(options);
    }
    static void TearDownTestSuite() {
        delete servers;
        servers = nullptr;
    }
    void SetUp() override {
        if (servers == nullptr)
            GTEST_SKIP() << "the streaming servers cannot run here";
    }

    static inline testkit::StreamServers* servers = nullptr;
};

/// The servers it names.
template <bool Icecast = true, bool Hls = true, bool Rtsp = true>
class StreamServersSuite : public ServersSuite {
  protected:
    static void SetUpTestSuite() { startServers({Icecast, Hls, Rtsp}); }
};

/// Icecast alone, with a tone mount at each RMS level given (dBFS).
template <int... LevelsDbfs>
class ToneServersSuite : public ServersSuite {
  protected:
    static void SetUpTestSuite() {
        testkit::StreamServers::Options options;
        options.hls = options.rtsp = false;
        options.toneLevelsDbfs = {LevelsDbfs...};
        startServers(options);
    }
};

}  // namespace qova::testing
