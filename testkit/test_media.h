#pragma once

#include <QByteArray>
#include <QTcpServer>
#include <string>

#include "testkit/temp_folder.h"

namespace qova::testkit {

/// One second of test picture with a tone (320x180 H.264 and AAC in MP4) and two seconds of tone
/// (MP3), made with ffmpeg once per test program.
class TestMedia {
  public:
    static const TestMedia& get();
    std::string clip() const { return folder_.file("clip.mp4"); }
    std::string tone() const { return folder_.file("tone.mp3"); }
    std::string clipBytes() const { return folder_.read("clip.mp4").value_or(""); }
    std::string toneBytes() const { return folder_.read("tone.mp3").value_or(""); }
    /// Empty when every file was made; otherwise what ffmpeg said.
    const std::string& error() const { return error_; }

  private:
    TestMedia();
    TempFolder folder_;
    std::string error_;
};

/// Six one-second MPEG-TS segments of test picture with a tone (320x180 H.264 and AAC), cut by
/// ffmpeg's HLS writer once per test program, for servers of fixed playlists.
class HlsSegments {
  public:
    static const HlsSegments& get();
    static constexpr int kCount = 6;
    /// The bytes of segment `index`, 0 to kCount - 1.
    std::string segment(int index) const;
    /// Empty when every segment was made; otherwise what ffmpeg said.
    const std::string& error() const { return error_; }

  private:
    HlsSegments();
    TempFolder folder_;
    std::string error_;
};

/// Serves audio as an Icecast or Shoutcast station does, on 127.0.0.1: the stream title in ICY
/// metadata blocks every few kilobytes, as given (UTF-8, Latin-1 or any other bytes). Each
/// connection gets the whole audio once and is then closed. Answers from the test's event loop.
class IcyStation {
  public:
    IcyStation(QByteArray audio, QByteArray title);
    std::string url() const;

  private:
    void answer(class QTcpSocket* socket);

    QTcpServer server_;
    QByteArray audio_;
    QByteArray title_;
};

}  // namespace qova::testkit
