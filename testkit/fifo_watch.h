#pragma once

#include <atomic>
#include <string>
#include <thread>

namespace qova::testkit {

/// A FIFO that tells whether anyone opened it for reading. A reader's open() waits for a writer;
/// a thread of the watch opens the other end without waiting whenever a reader is there, lets
/// that reader go at once with nothing to read, and counts it. So a program that opens the FIFO
/// is never held up by it, and a test sees that it was opened at all.
class FifoWatch {
  public:
    /// Makes the FIFO at this path and starts watching it.
    explicit FifoWatch(std::string path);
    ~FifoWatch();

    FifoWatch(const FifoWatch&) = delete;
    FifoWatch& operator=(const FifoWatch&) = delete;

    const std::string& path() const { return path_; }
    /// How many times a reader has opened it so far.
    int opened() const { return opened_.load(); }

  private:
    void watch();

    std::string path_;
    std::atomic<int> opened_{0};
    std::atomic<bool> stop_{false};
    std::thread watcher_;
};

}  // namespace qova::testkit
