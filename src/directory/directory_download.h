#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "state/main_context.h"

namespace qova::directory {

/// Whether a directory text names at least one channel: a line with country, category and name.
bool HasChannelLine(std::string_view text);

/// The directory browser's work on a page before it completes, away from the window's thread
/// for a large page: a playlist or a station list that names channels becomes their directory
/// lines; anything else stays as it is. Whether the text then names a channel.
bool ListPageAsDirectoryLines(std::string& text);

/// The directory browser's page has completed: its text, as the browser's transform made it,
/// replaces Channel.txt unless a navigation failed or the transform found no channel where the
/// stored directory has some (a page that only looks like a success: reported as a service
/// that cannot be reached). Then the favourites, the country lists and the Video view are
/// loaded from the stored files.
void DirectoryDocumentComplete(state::MainContext& ctx,
                               const std::function<void()>& cmbCountry_Click);

/// The directory browser's navigation failed. Every failure is recorded, so that no error
/// page ever replaces the stored directory; two of them are explained to the user.
void DirectoryNavigateError(state::MainContext& ctx, std::int32_t statusCode);

}  // namespace qova::directory
