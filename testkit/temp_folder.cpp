#include "testkit/temp_folder.h"

#include <fstream>
#include <iterator>
#include <optional>
#include <stdexcept>

namespace qova::testkit {

std::string fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TempFolder::TempFolder() {
    if (!dir_.isValid())
        throw std::runtime_error("cannot make a temporary folder");
}

std::string TempFolder::path() const {
    return dir_.path().toStdString();
}

std::string TempFolder::file(const std::string& name) const {
    return path() + "/" + name;
}

void TempFolder::write(const std::string& name, const std::string& bytes) const {
    std::ofstream out(file(name), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + name);
}

std::optional<std::string> TempFolder::read(const std::string& name) const {
    std::ifstream in(file(name), std::ios::binary);
    if (!in)
        return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace qova::testkit
