#pragma once

#include <string>

namespace qova::player {

// libmpv is loaded when an engine is first needed, not with the program: the libraries it brings
// (nearly two hundred, some 35 MB resident) are of no use while a user picks a channel. The
// program calls libmpv's functions as usual; this program's own definitions of them load the
// library at the first mpv_create() and pass every call on.

/// Loads libmpv if it is not yet loaded. False when it cannot be; `error` then says why.
bool loadEngineLibrary(std::string* error);

/// Unloads libmpv, and the libraries it brought that can go, when no engine instance lives.
void unloadEngineLibraryIfUnused();

/// Whether libmpv is loaded.
bool engineLibraryLoaded();

}  // namespace qova::player
