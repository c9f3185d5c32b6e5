#pragma once

#include <QTemporaryDir>
#include <optional>
#include <string>

namespace qova::testkit {

/// A file's bytes; empty when it cannot be read.
std::string fileBytes(const std::string& path);

/// A folder of its own for one test, removed with everything in it afterwards.
class TempFolder {
  public:
    TempFolder();
    std::string path() const;
    std::string file(const std::string& name) const;
    void write(const std::string& name, const std::string& bytes) const;
    /// The file's bytes, or nothing when it does not exist.
    std::optional<std::string> read(const std::string& name) const;

  private:
    QTemporaryDir dir_;
};

}  // namespace qova::testkit
