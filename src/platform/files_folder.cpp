#include "platform/files_folder.h"

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <filesystem>
#include <system_error>
#include <vector>

namespace qova::platform {
namespace {

constexpr const char* kPlayerPage = "Player.html";

bool inGroup(gid_t group) {
    if (group == ::getegid())
        return true;
    const int count = ::getgroups(0, nullptr);
    if (count <= 0)
        return false;
    std::vector<gid_t> groups(static_cast<std::size_t>(count));
    const int got = ::getgroups(count, groups.data());
    for (int i = 0; i < got; ++i) {
        if (groups[static_cast<std::size_t>(i)] == group)
            return true;
    }
    return false;
}

}  // namespace

bool folderWritableByPermissions(const std::string& folder) {
    struct stat st {};
    struct statvfs fs {};
    if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) ||
        ::statvfs(folder.c_str(), &fs) != 0 || (fs.f_flag & ST_RDONLY) != 0)
        return false;
    if (st.st_uid == ::geteuid())
        return (st.st_mode & S_IWUSR) != 0;
    if (inGroup(st.st_gid))
        return (st.st_mode & S_IWGRP) != 0;
    return (st.st_mode & S_IWOTH) != 0;
}

std::optional<FilesFolder> filesFolderFor(const std::string& programFolder, const char* xdgDataHome,
                                          const char* home) {
    if (folderWritableByPermissions(programFolder))
        return FilesFolder{programFolder, {}};
    namespace fs = std::filesystem;
    fs::path data;
    // A relative XDG_DATA_HOME means nothing to other programs either: it is ignored.
    if (xdgDataHome != nullptr && xdgDataHome[0] == '/')
        data = xdgDataHome;
    else if (home != nullptr && home[0] == '/')
        data = fs::path(home) / ".local" / "share";
    else
        return std::nullopt;
    data /= "qova";
    std::error_code error;
    fs::create_directories(data, error);
    if (!fs::is_directory(data, error))
        return std::nullopt;
    // The page is rewritten for every channel, only where it already stands.
    const fs::path page = data / kPlayerPage;
    if (!fs::exists(fs::symlink_status(page, error)))
        fs::copy_file(fs::path(programFolder) / kPlayerPage, page, error);
    return FilesFolder{data.string(), programFolder};
}

}  // namespace qova::platform
