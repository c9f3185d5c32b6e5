#pragma once

#include "platform/text_files.h"

namespace qova::platform {

/// Text files in a folder of the local file system.
class PosixTextFiles : public TextFiles {
  public:
    explicit PosixTextFiles(std::string folder);

    std::string programFolder() const override { return folder_; }
    std::string path(std::string_view name) const override;
    bool exists(std::string_view name) const override;
    std::optional<FileText> read(std::string_view name) const override;
    bool replace(std::string_view name, std::string_view content) override;
    bool replaceWithLine(std::string_view name, std::string_view line,
                         Durability durability) override;
    bool appendLine(std::string_view name, std::string_view line) override;

  private:
    bool replaceWith(std::string_view name, std::string_view content, std::string_view tail,
                     Durability durability);
    std::string folder_;
};

}  // namespace qova::platform
