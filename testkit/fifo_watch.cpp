#include "testkit/fifo_watch.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <stdexcept>
#include <utility>

namespace qova::testkit {

FifoWatch::FifoWatch(std::string path) : path_(std::move(path)) {
    if (::mkfifo(path_.c_str(), 0600) != 0)
        throw std::runtime_error("cannot make the FIFO " + path_);
    watcher_ = std::thread([this] { watch(); });
}

FifoWatch::~FifoWatch() {
    stop_ = true;
    watcher_.join();
    ::unlink(path_.c_str());
}

void FifoWatch::watch() {
    // Bounded by the watch's life: the test that owns it ends it.
    while (!stop_) {
        // Without a reader this fails at once (ENXIO); with one it opens, and closing it again
        // gives the reader the end of the file.
        const int fd = ::open(path_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0) {
            ++opened_;
            ::close(fd);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

}  // namespace qova::testkit
