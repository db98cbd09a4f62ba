#pragma once
// What a download tells the service about a local copy (the target, or a
// partial body an earlier run left): its size and MD5 digest, and for the
// target its date, so that the service can answer that the copy is
// complete, continue it, or send the whole file. A target as new as the
// service's copy is kept without asking.

#include <cstdint>
#include <optional>
#include <string>

#include "platform/file.h"
#include "platform/file_time.h"

namespace engine {

struct LocalCopy {
    bool isTarget = false;   // else a partial body
    std::string serverDate;  // the listed file's date (a blank: none)
    std::string fileId;
    // The target's last write, sent beside the description whichever copy
    // is described; none when there is no target.
    std::optional<platform::FileTime> targetLastWrite;
};

struct CopyExamination {
    enum class Verdict {
        Nothing,     // empty: nothing to describe, the file comes whole
        Described,   // `description` holds the lines for the request
        KeptSame,    // the target has the service's date
        KeptNewer,   // the target is newer than the service's copy
        Unreadable,  // the copy could not be read through
    };
    Verdict verdict = Verdict::Nothing;
    std::int64_t size = 0;
    std::string description;
};

CopyExamination ExamineCopy(const platform::File& file, const LocalCopy& copy);

}  // namespace engine
