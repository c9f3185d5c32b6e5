#pragma once

// The mpv program beside which channel switches are measured.
#include <QLocalSocket>
#include <QProcess>
#include <QStandardPaths>
#include <optional>
#include <string>

#include "playback_support.h"
#include "testkit/temp_folder.h"

namespace qova::bench {

/// The mpv program, kept running and switched over its IPC socket as a user of it would script
/// it; without a window, without the user's configuration.
class MpvProgram {
  public:
    /// `audio`: its sound output's options, silent by default.
    explicit MpvProgram(QStringList audio = {QStringLiteral("--ao=null")}) {
        const QString program = QStandardPaths::findExecutable(QStringLiteral("mpv"));
        if (program.isEmpty())
            return;
        const QString socket = QString::fromStdString(folder_.path()) + QStringLiteral("/ipc");
        process_.start(program,
                       QStringList{QStringLiteral("--no-config"), QStringLiteral("--idle=yes"),
                                   QStringLiteral("--vo=null"), QStringLiteral("--really-quiet"),
                                   QStringLiteral("--input-ipc-server=") + socket} +
                           audio);
        const auto deadline = Clock::now() + kWaitLimit;
        while (process_.state() != QProcess::NotRunning && Clock::now() < deadline) {
            ipc_.connectToServer(socket);
            if (ipc_.waitForConnected(100))
                return;
            runFor(std::chrono::milliseconds(20));
        }
    }
    ~MpvProgram() {
        send(R"({"command":["quit"]})");
        if (!process_.waitForFinished(3000))
            process_.kill();
        process_.waitForFinished(3000);
    }
    bool running() const { return ipc_.state() == QLocalSocket::ConnectedState; }
    /// loadfile ... replace; the time the program tells of the first restart of playback.
    std::optional<Clock::time_point> play(const std::string& url) {
        send(R"({"command":["loadfile",")" + url + R"(","replace"]})");
        const auto deadline = Clock::now() + kWaitLimit;
        while (Clock::now() < deadline && ipc_.state() == QLocalSocket::ConnectedState) {
            if (!ipc_.canReadLine() && !ipc_.waitForReadyRead(100))
                continue;
            while (ipc_.canReadLine()) {
                if (ipc_.readLine().contains(R"("event":"playback-restart")"))
                    return Clock::now();
            }
        }
        return std::nullopt;
    }
    void stop() {
        send(R"({"command":["stop"]})");
        runFor(kSettle);
        ipc_.readAll();
    }

  private:
    void send(const std::string& line) {
        if (!running())
            return;
        ipc_.write((line + "\n").c_str());
        ipc_.waitForBytesWritten(1000);
    }

    qova::testkit::TempFolder folder_;
    QProcess process_;
    QLocalSocket ipc_;
};

}  // namespace qova::bench
