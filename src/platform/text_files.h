#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace qova::platform {

/// A file's bytes as read. A large file is mapped rather than copied, so that reading the
/// channel directory costs no more than looking through it.
class FileText {
  public:
    FileText() = default;
    explicit FileText(std::string bytes)
        : owner_(std::make_shared<std::string>(std::move(bytes))),
          view_(*static_cast<const std::string*>(owner_.get())) {}
    /// Bytes kept alive by an owner, such as a mapping that is released with it.
    FileText(std::shared_ptr<const void> owner, std::string_view bytes)
        : owner_(std::move(owner)), view_(bytes) {}

    std::string_view view() const { return view_; }
    std::size_t size() const { return view_.size(); }
    bool empty() const { return view_.empty(); }
    friend bool operator==(const FileText& a, std::string_view b) { return a.view_ == b; }

  private:
    std::shared_ptr<const void> owner_;
    std::string_view view_;
};

/// Whether a file must survive a power cut once written, or is a scratch file the program
/// rewrites whenever it needs it, where waiting for the disk would only cost time.
enum class Durability { Durable, Scratch };

/// The text files of the program's folder. Files are named without their folder, and names are
/// matched without regard to letter case. Contents are 8-bit bytes; lines written end in CR LF.
/// A file that is a symbolic link stays one: what is written goes to the file it points to. A
/// file its user made read-only (no write permission for anyone) is never written.
class TextFiles {
  public:
    virtual ~TextFiles() = default;

    /// The folder that holds the program, without a trailing separator.
    virtual std::string programFolder() const = 0;
    /// The full path of a file of the program's folder, the existing spelling of its name if any.
    virtual std::string path(std::string_view name) const = 0;
    virtual bool exists(std::string_view name) const = 0;
    /// The whole content, or nothing when the file is missing or cannot be read.
    virtual std::optional<FileText> read(std::string_view name) const = 0;
    /// Replaces the whole content so that a reader sees either the old file or the new one,
    /// never a part: the text goes to a new file in the same folder, which then takes the old
    /// one's place. False, with the old file untouched, when any step fails.
    virtual bool replace(std::string_view name, std::string_view content) = 0;
    /// As replace, with one line and its CR LF as the whole content.
    virtual bool replaceWithLine(std::string_view name, std::string_view line,
                                 Durability durability) = 0;
    /// As replace, without waiting for the disk: the write goes on in the background, and from
    /// the call on every read of the file gives the new content. A write that fails leaves the
    /// old file on disk, and reads go on giving the new content for as long as the program runs.
    virtual void replaceInBackground(std::string_view name, std::string content) = 0;
    /// Appends one line and CR LF, creating the file when it does not exist. False when the
    /// line could not be written whole; the file then holds what it held before.
    virtual bool appendLine(std::string_view name, std::string_view line) = 0;
    /// Deletes a file, and any write of it still waiting in the background. True when the file
    /// is gone afterwards, whether or not it was there.
    virtual bool remove(std::string_view name) = 0;
};

}  // namespace qova::platform
