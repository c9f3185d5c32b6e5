#pragma once

#include <optional>
#include <string>

namespace qova::platform {

/// Where the program keeps the files it writes (the directory copy, favourites, the player page,
/// settings), and where it reads the defaults a package ships.
struct FilesFolder {
    std::string folder;
    /// The program's own folder where `folder` is elsewhere, else empty.
    std::string defaults;
};

/// Beside the program where its user may write there, as ever. A program folder installed for
/// all users is not theirs to write: each user then keeps the files in their data folder,
/// $XDG_DATA_HOME/qova (by default ~/.local/share/qova), made when missing, and is given the
/// program's Player.html there once. Write permission is judged by the folder's permissions
/// alone, so that root's disregard of them does not turn a read-only folder into a shared
/// scratch space. Nothing when neither folder can be used.
std::optional<FilesFolder> filesFolderFor(const std::string& programFolder, const char* xdgDataHome,
                                          const char* home);

/// Whether the user may write in the folder by its permissions (not root's privilege) and its
/// file system is not mounted read-only.
bool folderWritableByPermissions(const std::string& folder);

}  // namespace qova::platform
