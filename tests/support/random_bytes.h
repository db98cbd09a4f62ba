#pragma once
// Incompressible test data that a seed makes again byte for byte.

#include <cstddef>
#include <random>
#include <string>

namespace testing_support {

inline std::string RandomBytes(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes) {
        c = static_cast<char>(random());
    }
    return bytes;
}

}  // namespace testing_support
