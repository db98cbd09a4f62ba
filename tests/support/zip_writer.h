#pragma once
// Builds zip archives for tests, with the members' data as given.

#include <string>
#include <utility>
#include <vector>

namespace testing_support {

// Writes an archive of deflated (or stored) members; false when minizip
// fails.
bool WriteZip(const std::string& path,
              const std::vector<std::pair<std::string, std::string>>& members, bool stored = false);

}  // namespace testing_support
