#pragma once

#include <gtest/gtest.h>

#include <string>

#include "testkit/stream_servers.h"

namespace qova::testing {

/// A suite whose tests share the loopback streaming servers it names, started once before its
/// first test and stopped after its last. Where they cannot run, each test is skipped and says
/// so; a fixture's own SetUp calls this one's first and returns when the test IsSkipped().
template <bool Icecast = true, bool Hls = true, bool Rtsp = true>
class StreamServersSuite : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        std::string why;
        const testkit::StreamServers::Options options{Icecast, Hls, Rtsp};
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

}  // namespace qova::testing
