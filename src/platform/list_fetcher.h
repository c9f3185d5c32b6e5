#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace qova::platform {

/// Fetches the channel lists a user added, away from the thread that asks: an http, https or
/// file address, or a path on this computer, taken whole. Several lists may be fetched at once,
/// one fetch for each address; what a list gives is turned into directory lines on a worker
/// thread, so that a large list costs the window nothing.
class ListFetcher {
  public:
    /// What a list gives, as its conversion made it on the worker thread.
    struct Converted {
        /// The list's channels as directory lines.
        std::string lines;
        /// How many channels they name, counted as they were made, so that no one reads the
        /// lines again on the thread that asked.
        std::size_t channels = 0;
    };
    struct Outcome {
        /// The list's channels as directory lines; empty when it failed.
        std::string lines;
        std::size_t channels = 0;
        /// Why the list could not be had, in words for the lists window; "" when it was.
        std::string error;
        /// When it was fetched, as the lists window shows it: "2026-12-06 19:05" local time.
        std::string when;
    };
    using Convert = std::function<Converted(std::string_view page)>;

    virtual ~ListFetcher() = default;
    /// Starts fetching beside the fetches under way, in place of one of the same address, which
    /// is then heard of no more. done is called later, never from within fetch, on the thread
    /// that called fetch.
    virtual void fetch(const std::string& address, Convert convert,
                       std::function<void(Outcome)> done) = 0;
    /// Drops the fetch of this address under way, if there is one: its done is never called.
    virtual void cancel(const std::string& address) = 0;
};

}  // namespace qova::platform
