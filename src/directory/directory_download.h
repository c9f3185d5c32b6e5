#pragma once

#include <cstdint>
#include <functional>

#include "app/main_context.h"

namespace qova::directory {

inline constexpr const char* kMessageChannelsMissing = "Required Channels file does not excist.";
inline constexpr const char* kMessageNoConnection = "Internet connection is not available.";

/// The directory browser's page has completed: its text replaces Channel.txt unless a
/// navigation failed, then the favourites, the country lists and the Video view are loaded
/// from the stored files.
void DirectoryDocumentComplete(app::MainContext& ctx,
                               const std::function<void()>& cmbCountry_Click);

/// The directory browser's navigation failed. Every failure is recorded, so that no error
/// page ever replaces the stored directory; two of them are explained to the user.
void DirectoryNavigateError(app::MainContext& ctx, std::int32_t statusCode);

}  // namespace qova::directory
