#pragma once
// Finishing a file whose body arrived whole: deciphered when the service
// enciphered it, unpacked when it sent an archive, dated with the
// service's date and only then renamed over the target, so that the
// earlier copy stays until the new one is complete.

#include "engine/file_job.h"

namespace engine {

FileResult FinishFile(FileJob& job);

}  // namespace engine
