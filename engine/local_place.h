#pragma once
// Where a listed file goes below the destination: its folder, held open,
// and its name there. The folders on the way are entered one level at a
// time and never through a link, so a link inside the destination cannot
// lead a listed name outside it.

#include <string>
#include <string_view>

#include "platform/folder.h"

namespace engine {

struct LocalPlace {
    platform::Folder folder;
    std::string folderPath;
    std::string name;
};

enum class MissingFolders { Fail, Make };

// `relative` has '\' between levels and has passed platform::JoinUnder.
// Fails NotFound when a level is missing (and not made), WrongKind when
// something other than a folder has a level's name.
platform::Result<LocalPlace> PlaceUnder(const platform::Folder& destination,
                                        std::string_view destinationPath, std::string_view relative,
                                        MissingFolders missing);

}  // namespace engine
