#pragma once
// What the fuzz targets share: invariant checks that stop the run, the key
// table that targets and seeds agree on, and a scratch folder per process.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "net/key_table.h"

// Stops the run when an invariant does not hold, so that libFuzzer keeps the
// input as a crash. Unlike assert, never compiled out.
#define FUZZ_CHECK(condition) \
    ((condition) ? static_cast<void>(0) : ::fuzz::Fail(#condition, __FILE__, __LINE__))

namespace fuzz {

[[noreturn]] void Fail(const char* condition, const char* file, int line);

// A fixed table, not a secret: enciphered seeds are made under it.
const net::KeyTable& FuzzKeyTable();

// A folder of this process's own below the system's temporary folder,
// removed when the process ends.
const std::string& ScratchFolder();

std::string_view AsText(std::span<const std::uint8_t> bytes);

// The path `path` names once "." and ".." levels and repeated separators are
// resolved as text, without asking the file system.
std::string LexicalNormal(std::string_view path);

// `path` is `folder` itself or lies below it, both compared as
// LexicalNormal gives them.
bool LiesUnder(std::string_view path, std::string_view folder);

}  // namespace fuzz
