// Plays a station and records it until it is killed: recording_helper <address> <folder>.
// Says "recording" on its output once the recording's file exists.
#include <QCoreApplication>
#include <clocale>
#include <cstdio>

#include "player/channel_recording.h"
#include "player/mpv_player.h"

int main(int argc, char** argv) {
    if (argc != 3)
        return 2;
    // The folder's own settings, never the user's.
    qputenv("XDG_CONFIG_HOME", QByteArray(argv[2]) + "/config");
    qputenv("XDG_CACHE_HOME", QByteArray(argv[2]) + "/cache");
    QCoreApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");
    using namespace qova::player;
    chooseRecordingsFolder(std::string(argv[2]) + "/recordings");
    MpvPlayerOptions options;
    options.renderVideo = false;
    options.audioOutput = "null";
    MpvPlayer player(options);
    ChannelRecording recording(player);
    bool started = false;
    QObject::connect(&player, &MpvPlayer::playbackRestarted, &app, [&] {
        if (std::exchange(started, true))
            return;
        recording.toggle("Numbered");
        std::printf(recording.recording() ? "recording\n" : "not recording\n");
        std::fflush(stdout);
    });
    player.play(argv[1]);
    return app.exec();
}
