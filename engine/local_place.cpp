#include "engine/local_place.h"

#include "platform/path.h"

namespace engine {

platform::Result<LocalPlace> PlaceUnder(const platform::Folder& destination,
                                        std::string_view destinationPath, std::string_view relative,
                                        MissingFolders missing) {
    auto folder = destination.Duplicate();
    if (!folder) {
        return folder.error();
    }
    LocalPlace place{std::move(*folder), std::string(destinationPath), {}};
    std::size_t start = 0;
    for (std::size_t slash = relative.find('\\'); slash != std::string_view::npos;
         start = slash + 1, slash = relative.find('\\', start)) {
        const std::string_view level = relative.substr(start, slash - start);
        auto next = missing == MissingFolders::Make ? place.folder.EnterOrCreate(level)
                                                    : place.folder.Enter(level);
        if (!next) {
            return next.error();
        }
        place.folder = std::move(*next);
        place.folderPath = platform::JoinName(place.folderPath, level);
    }
    place.name = std::string(relative.substr(start));
    return place;
}

}  // namespace engine
