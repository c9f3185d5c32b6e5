#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "stream/recent_audio.h"
#include "stream/recording_files.h"
#include "stream/stream_tape.h"

namespace qova::stream {

/// One song in a file of its own: named from the station's title, tagged (MP3 and AAC) with
/// its title, artist and the channel as album, and marked "(part)" when its beginning or its end
/// is missing.
class SongFile {
  public:
    bool create(const std::filesystem::path& folder, const std::string& streamTitle,
                const std::string& channel, const std::string& extension, bool beginningMissing);
    bool write(const char* data, std::size_t size) { return file_.write(data, size); }
    /// Closes it; a song that did not play to its end is marked so.
    void close(bool complete);
    bool isOpen() const { return file_.isOpen(); }
    const RecordingFile& file() const { return file_; }

  private:
    RecordingFile file_;
    std::string stem_;
    bool marked_ = false;
};

/// What a recording is of and where it goes.
struct RecordingPlan {
    std::filesystem::path folder;
    std::string channel;
    /// Of the stream's own format (see extensionForContentType).
    std::string extension;
    /// When it began, as the name shows it: "YYYY-MM-DD HH-MM".
    std::string started;
    /// Whether each song also goes into a file of its own (a station that sends titles).
    bool songFiles = true;
};

/// Records a channel's audio as the station sent it into one file, and each song into one of
/// its own. A full disk or a failed write ends it; what was written stays.
class Recorder : public AudioSink {
  public:
    explicit Recorder(RecordingPlan plan);
    ~Recorder() override;

    /// Creates the recording's file; false and error() when it cannot.
    bool start(const std::string& currentTitle);
    /// Closes every file; the song under way is marked partial.
    void finish();
    bool failed() const { return failed_; }
    const std::string& error() const { return error_; }
    const std::filesystem::path& path() const { return whole_.path(); }
    std::uint64_t bytes() const { return whole_.bytesWritten(); }
    /// Called once, on the thread that feeds it, when a write fails.
    std::function<void()> onFailed;

    void audio(const char* data, std::size_t size, std::uint64_t offset) override;
    void titleChanged(const std::string& title, std::uint64_t offset) override;

  private:
    void fail(const RecordingFile& file);
    void feedSongs(const char* data, std::size_t size, std::uint64_t offset);
    void songFrame(const char* data, std::size_t size, std::uint64_t offset);
    void nextSong();

    RecordingPlan plan_;
    // MP3 and AAC begin at a frame's start, not inside the one under way.
    bool framed_ = false;
    // Their songs are whole frames: each is cut at the frame boundary nearest its title's byte.
    bool songsFramed_ = false;
    std::string frame_;
    std::uint64_t frameOffset_ = 0;
    // The song that begins at the frame boundary nearest this offset, once its frame comes.
    struct Change {
        std::string title;
        std::uint64_t offset = 0;
    };
    std::optional<Change> change_;
    RecordingFile whole_;
    SongFile song_;
    std::string title_;
    bool failed_ = false;
    std::string error_;
};

/// "Save song": the song that plays, from its beginning as the recent audio holds it, then on to
/// its end, into a file of its own.
class SongSaver : public AudioSink {
  public:
    SongSaver(const RecentAudio& recent, const std::filesystem::path& folder,
              const std::string& channel, const std::string& extension);
    /// False (with error()) when the file cannot be made or the held audio not read.
    bool start();
    /// The song ended (or the channel did); true when it ended with a new title.
    bool done() const { return done_; }
    void finish();
    const std::string& error() const { return error_; }
    const std::filesystem::path& path() const { return song_.file().path(); }
    std::function<void()> onDone;

    void audio(const char* data, std::size_t size, std::uint64_t offset) override;
    void titleChanged(const std::string& title, std::uint64_t offset) override;

  private:
    const RecentAudio& recent_;
    std::filesystem::path folder_;
    std::string channel_;
    std::string extension_;
    SongFile song_;
    std::uint64_t next_ = 0;
    bool done_ = false;
    std::string error_;
};

}  // namespace qova::stream
