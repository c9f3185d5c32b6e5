#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/text_files.h"

namespace qova::platform {

/// Writes all of data to a descriptor, taking up writes the system cut short. False on failure.
bool writeAll(int fd, std::string_view data);
/// A new file beside target, named target plus a mark and six random characters, locked while
/// its descriptor is open, so that a later start removes it only as a killed run's leftover.
/// The descriptor, or -1.
int createTemporaryBeside(const std::string& target, std::string& temp);
/// Replaces target by what write puts into a new file beside it, written to the disk first, so
/// that a failure (write answers false, the disk is full) leaves the old file whole.
bool replaceFileBy(const std::string& target, const std::function<bool(int fd)>& write);

/// Text files in a folder of the local file system. Writes in the background go to one thread
/// of the object's own, in the order they were asked for; the destructor waits for them.
class PosixTextFiles : public TextFiles {
  public:
    /// `defaults`: a folder that files of the given names are read from where `folder` has none
    /// (a shared program folder holding the default Config.txt); never written.
    explicit PosixTextFiles(std::string folder, std::string defaults = {},
                            std::vector<std::string> defaultNames = {});
    ~PosixTextFiles() override;

    PosixTextFiles(const PosixTextFiles&) = delete;
    PosixTextFiles& operator=(const PosixTextFiles&) = delete;

    std::string programFolder() const override { return folder_; }
    std::string path(std::string_view name) const override;
    bool exists(std::string_view name) const override;
    std::optional<FileText> read(std::string_view name) const override;
    bool replace(std::string_view name, std::string_view content) override;
    bool replaceWithLine(std::string_view name, std::string_view line,
                         Durability durability) override;
    bool appendLine(std::string_view name, std::string_view line) override;
    void replaceInBackground(std::string_view name, std::string content) override;
    bool remove(std::string_view name) override;

    /// Removes what writes of a run that was killed left in the folder (their temporary files;
    /// never one a write under way holds); done once when the object is made. How many.
    int removeLeftovers();

    /// Waits until every write in the background has landed or failed; true when all landed.
    bool waitForBackgroundWrites();

  private:
    struct Job {
        std::string key;
        std::string name;
        std::shared_ptr<const std::string> content;
    };

    bool replaceWith(std::string_view name, std::string_view content, std::string_view tail,
                     Durability durability);
    std::shared_ptr<const std::string> pending(std::string_view name) const;
    void writeInBackground();

    /// Where `name` is read from: the folder, or the defaults folder where that has it alone.
    std::string readPath(std::string_view name) const;

    std::string folder_;
    std::string defaults_;
    std::vector<std::string> defaultNames_;

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    // What reads of a file give until its write has landed, by lower-cased name.
    std::map<std::string, std::shared_ptr<const std::string>> pending_;
    std::deque<Job> jobs_;
    // The lower-cased name of the file the writer is writing, "" while it writes none.
    std::string writing_;
    bool allLanded_ = true;
    bool stopping_ = false;
    std::thread writer_;
};

}  // namespace qova::platform
