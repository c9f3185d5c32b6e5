#pragma once

#include <string>
#include <vector>

#include "state/keyed_collection.h"

namespace qova::state {

/// What the main window keeps for its lifetime. Nothing of it is saved between runs. The records
/// behind the tree's nodes and the playing node are kept by the ChannelList beside it.
struct MainState {
    /// "Video", "Radio" or "Favorite"; compared without regard to case wherever it is tested.
    std::string strCategory;
    KeyedCollection colVideoCountries;
    /// Countries of every category other than Video.
    KeyedCollection colRadioCountries;
    /// The favourites file's lines, each followed by CR LF.
    std::string strFavorites;
    /// The status code of the directory browser's failed navigation, "" when none failed.
    std::string strNavError;
    /// The key of the last line of Config.txt.
    std::string strConfigKey;
    /// The window's outer height in twips at the end of loading.
    int intFormHeight = 0;
    /// The record of the channel started last.
    std::string strCurrentRecord;
    /// The directory lines of the channel lists the user added, in the order of the lists, each
    /// line followed by CR LF; "" when none was added.
    std::string strAddedChannels;
    /// The address the directory is fetched from: the last line of Config.txt as navigated.
    std::string strDirectoryAddress;
    /// The names of the kept copies of the added lists whose address is on this computer, among
    /// those whose lines are in strAddedChannels: the lists that may name files here.
    std::vector<std::string> localListCopies;
};

}  // namespace qova::state
