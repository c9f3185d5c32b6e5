#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qova::platform {

/// The one set of rules for the addresses the program opens: which schemes each part may reach,
/// what counts as a file on this computer, and when such a file may be opened. The player, the
/// channel check, the fetchers of the directory and of the added lists, and the logic that
/// decides for each channel all ask here, so that no path to a file or another scheme is open in
/// one place and shut in another.

/// Whether an address names something on this computer rather than a server: a path, absolute or
/// relative, "-" (standard input) or a file: URL. A one-letter "scheme" is a drive letter.
bool isLocalAddress(std::string_view address);

/// Whether an address is on the web: http or https, with a host. Pages, channel lists and
/// whatever a fetch follows from the web go to such addresses, and local files, alone.
bool isWebAddress(std::string_view address);

/// Why the player and the channel check must not open an address, in a few words for the user;
/// nothing when they may. Streams are read over http, https, rtsp, rtsps, rtmp, rtmps, mms, mmsh
/// and mmst only: the engine also knows addresses that switch on a camera, build media from a
/// recipe or read any file, which a channel list from elsewhere must not reach. Local files and
/// relative paths only where the channel's line came from a list that is itself a file here.
std::optional<std::string> refusedStreamAddress(std::string_view address, bool localFilesAllowed);

/// Whether a fetch from the web may go on to an address it was given there: a redirect, or the
/// next address of a playlist. Only to the web, and a redirect never from https down to http;
/// never to a file here or any other scheme, whatever the first address was allowed.
bool mayFollow(std::string_view from, std::string_view to, bool redirect);

/// Whether two addresses name the same host (its name alike whatever its case; the port aside).
/// What a channel's line asks to send its server goes to that host only.
bool sameHost(std::string_view a, std::string_view b);

/// The host and port of a web address as written ("h:8000", "[::1]"), without user and
/// password; empty for addresses without one.
std::string authority(std::string_view address);

/// The path on this computer a local address names: the path itself, or the path of a file: URL
/// decoded. Empty for a relative path, "-" and every address that is no local one.
std::string localFilePath(std::string_view address);

/// A relative path made whole against a folder, as a page's media count from the page's folder
/// and a relative URLTXT from Config.txt's; "-" is a file of that name there, never standard
/// input. Absolute paths, file: URLs and every other address stay exactly as written.
std::string resolvedAgainst(std::string_view address, std::string_view folder);

/// Whether a path names a regular file (symbolic links followed): one that can be opened and
/// read without waiting for anyone. A FIFO, a device or a socket would block the thread that
/// opens it, a folder has nothing to read; such a path is never opened on the Qt thread.
bool isRegularFile(const std::string& path);

}  // namespace qova::platform
