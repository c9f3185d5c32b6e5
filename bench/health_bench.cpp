// "Check channels" on a tree of 500 loopback channels through the real window: 460 that answer
// (a file server on a thread of its own), 32 that are refused or missing, 8 whose server takes
// the connection and never answers. Wall time of the whole check and the growth of resident
// memory it leaves.
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QAction>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include "testkit/loopback_http_server.h"
#include "testkit/streams/stream_processes.h"
#include "window_runs.h"

namespace {

/// A port that takes connections into its backlog and never answers them.
class SilentPort {
  public:
    SilentPort() {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            ::listen(fd_, 1024) != 0 ||
            ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            throw std::runtime_error("cannot listen on 127.0.0.1");
        port_ = ntohs(address.sin_port);
    }
    ~SilentPort() { ::close(fd_); }
    int port() const { return port_; }

  private:
    int fd_ = -1;
    int port_ = 0;
};

double residentMb() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024;
    }
    return 0;
}

void CheckOf500Channels(benchmark::State& state) {
    QTemporaryDir served;
    {
        QFile stream(served.filePath(QStringLiteral("live.mp3")));
        if (!stream.open(QIODevice::WriteOnly) || stream.write(QByteArray(64 * 1024, '\xFF')) < 0)
            throw std::runtime_error("cannot write the stream file");
    }
    qova::testkit::streams::FileServer files(served.path().toStdString(), "/");
    SilentPort silent;
    const std::string refused = qova::testkit::closedPortUrl();
    std::string directory;
    for (int i = 0; i < 500; ++i) {
        std::string address;
        if (i % 62 == 31)
            address = "http://127.0.0.1:" + std::to_string(silent.port()) + "/hang.mp3?" +
                      std::to_string(i);
        else if (i % 31 == 7)
            address = refused + "dead.mp3?" + std::to_string(i);
        else if (i % 31 == 19)
            address = "http://127.0.0.1:" + std::to_string(files.port()) + "/missing.mp3?" +
                      std::to_string(i);
        else
            address = "http://127.0.0.1:" + std::to_string(files.port()) + "/live.mp3?" +
                      std::to_string(i);
        directory += "Test|Radio|Channel " + std::to_string(i) + "|" + address + "|EN\n";
    }
    QTemporaryDir program;
    auto window = bench_support::windowShowing(program, directory);
    window->logic().imgRadio_Click();
    QComboBox* list = window->countryList();
    list->setCurrentIndex(list->findText(QStringLiteral("Test")));
    emit list->activated(list->currentIndex());
    auto* check = window->findChild<QAction*>(QStringLiteral("mnuCheckChannels"));
    auto& health = window->logic().health();
    double growth = 0;
    for (auto _ : state) {
        const double before = residentMb();
        check->trigger();
        QElapsedTimer waited;
        waited.start();
        while (health.running() && waited.elapsed() < 120000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        if (health.running()) {
            state.SkipWithError("the check never ended");
            break;
        }
        growth = std::max(growth, residentMb() - before);
    }
    state.counters["channels"] = health.total();
    state.counters["failed"] = health.failed();
    state.counters["rss_growth_MB"] = growth;
}
BENCHMARK(CheckOf500Channels)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    return bench_support::runOffscreen(argc, argv);
}
