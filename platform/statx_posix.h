#pragma once
// The identity of a file from what statx reports, shared by the files and
// folders of this layer on POSIX systems.

#include <sys/stat.h>

#include "platform/file.h"

namespace platform {

FileIdentity IdentityFromStatx(const struct statx& sx);

}  // namespace platform
