#pragma once

#include <string>

namespace qova::player {

// libmpv is loaded when an engine is first needed, not with the program: the libraries it brings
// (nearly two hundred, some 30 MB resident) are of no use while a user picks a channel. The
// program calls libmpv's functions as usual; this program's own definitions of them load the
// library at the first mpv_create() and pass every call on.

/// Loads libmpv if it is not yet loaded. False when it cannot be; `error` then says why. Once
/// loaded to be kept (for an engine that plays), it stays for the rest of the run.
bool loadEngineLibrary(std::string* error, bool keep = false);

/// Unloads libmpv, and the libraries it brought that can go, unless an engine instance lives or
/// it is kept.
void unloadEngineLibraryIfUnused();

/// Whether libmpv is loaded.
bool engineLibraryLoaded();

}  // namespace qova::player
