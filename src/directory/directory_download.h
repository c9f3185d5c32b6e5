#pragma once

#include <cstdint>
#include <functional>

#include "state/main_context.h"

namespace qova::directory {

/// The directory browser's page has completed: its text replaces Channel.txt unless a
/// navigation failed, then the favourites, the country lists and the Video view are loaded
/// from the stored files.
void DirectoryDocumentComplete(state::MainContext& ctx,
                               const std::function<void()>& cmbCountry_Click);

/// The directory browser's navigation failed. Every failure is recorded, so that no error
/// page ever replaces the stored directory; two of them are explained to the user.
void DirectoryNavigateError(state::MainContext& ctx, std::int32_t statusCode);

}  // namespace qova::directory
