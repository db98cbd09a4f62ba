// Zip archives that the service sends instead of a file: the first member
// is unpacked beside the file it will replace.
//
// The input is the archive. Checked: whatever the archive names or holds,
// the only thing written is the intended target, a regular file, and a
// success leaves it there; the archive itself is left as it was.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "engine/zip_extractor.h"
#include "fuzz_support.h"
#include "platform/file.h"

namespace {

namespace fs = std::filesystem;

// Every entry below `folder`, links not followed.
std::vector<fs::path> EntriesBelow(const fs::path& folder) {
    std::vector<fs::path> entries;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder)) {
        entries.push_back(entry.path());
    }
    return entries;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const fs::path scratch = fuzz::ScratchFolder();
    static const fs::path work = scratch / "work";
    static const std::string archive = (work / "download.zip~").string();
    static const std::string target = (work / "dest" / "report.txt~unzip").string();
    std::error_code error;
    fs::create_directories(work / "dest", error);
    fs::remove(target, error);

    const std::string bytes(fuzz::AsText({data, size}));
    FUZZ_CHECK(platform::WriteWholeFile(archive, bytes).ok());

    bool unpacked = false;
    {
        auto source = platform::File::Open(archive, platform::FileAccess::ReadShared);
        auto output = platform::File::Open(target, platform::FileAccess::CreateAlways);
        FUZZ_CHECK(source.ok() && output.ok());
        const engine::UnzipOutcome outcome = engine::ZipExtractor().UnzipFirstEntry(*source, *output);
        unpacked = outcome.ok();
        // A success is exactly the size the archive declared.
        if (unpacked) {
            const auto member = engine::ZipExtractor().FirstMember(*source);
            FUZZ_CHECK(member && output->Size().value() == member->declaredSize);
        }
    }

    for (const fs::path& entry : EntriesBelow(scratch)) {
        const bool expected = entry == work || entry == work / "dest" ||
                              entry.string() == archive || entry.string() == target;
        if (!expected) {
            std::fprintf(stderr, "unexpected entry %s\n", entry.c_str());
        }
        FUZZ_CHECK(expected);
    }
    const fs::file_status written = fs::symlink_status(target);
    FUZZ_CHECK(!fs::exists(written) || fs::is_regular_file(written));
    if (unpacked) {
        FUZZ_CHECK(fs::is_regular_file(written));
    }
    const auto kept = platform::ReadFileStart(archive, bytes.size() + 1);
    FUZZ_CHECK(kept.ok() && kept.value() == bytes);
    return 0;
}
