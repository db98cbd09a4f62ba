#include "tools/service/key_folder.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "net/service_date.h"
#include "platform/file.h"
#include "platform/path.h"
#include "platform/strings.h"
#include "platform/text_encoding.h"

namespace qvn_service {

namespace {

// Settings files are small; a larger one is read only this far.
constexpr std::size_t kSettingsLimit = 64 * 1024;

}  // namespace

bool IsUsableKeyName(std::string_view key) {
    if (key.empty() || key == "." || key == "..") {
        return false;
    }
    return key.find_first_of(std::string_view("/\\\0", 3)) == std::string_view::npos;
}

std::optional<std::string> KeyFolder(const std::string& root, std::string_view key) {
    if (!IsUsableKeyName(key)) {
        return std::nullopt;
    }
    const std::string folder = platform::JoinName(root, key);
    auto info = platform::GetFileInfo(folder);
    if (!info || !info->isDirectory) {
        return std::nullopt;
    }
    return folder;
}

bool ReadAttributes(ServedFile& file) {
    auto info = platform::GetFileInfo(file.path);
    if (!info || info->isDirectory) {
        return false;
    }
    file.size = info->size;
    file.lastWrite = info->lastWrite;
    return true;
}

std::vector<ServedFile> ListKeyFiles(const std::string& folder, bool attributes,
                                     std::vector<std::string>* folders) {
    namespace fs = std::filesystem;
    std::vector<ServedFile> files;
    if (folders != nullptr) {
        folders->push_back(folder);
    }
    std::error_code error;
    fs::recursive_directory_iterator walk(folder, fs::directory_options::skip_permission_denied,
                                          error);
    for (; !error && walk != fs::recursive_directory_iterator(); walk.increment(error)) {
        const fs::directory_entry& entry = *walk;
        std::error_code statusError;
        if (entry.is_symlink(statusError)) {
            continue;
        }
        if (entry.is_directory(statusError)) {
            if (folders != nullptr) {
                folders->push_back(entry.path().string());
            }
            continue;
        }
        if (!entry.is_regular_file(statusError)) {
            continue;
        }
        ServedFile file;
        file.path = entry.path().string();
        if (attributes && !ReadAttributes(file)) {
            continue;
        }
        file.relative = entry.path().lexically_relative(folder).generic_string();
        files.push_back(std::move(file));
    }
    std::sort(files.begin(), files.end(),
              [](const ServedFile& a, const ServedFile& b) { return a.relative < b.relative; });
    for (std::size_t i = 0; i < files.size(); ++i) {
        files[i].id = std::to_string(i + 1);
    }
    return files;
}

const ServedFile* FindFileById(const std::vector<ServedFile>& files, std::string_view id) {
    for (const ServedFile& file : files) {
        if (file.id == id) {
            return &file;
        }
    }
    return nullptr;
}

std::string BuildListText(std::string_view key, const std::vector<ServedFile>& files,
                          const KeySettings& settings) {
    std::optional<platform::TextConverter> toCodePage;
    if (settings.codePage) {
        if (auto opened = platform::TextConverter::Open(platform::kUtf8, *settings.codePage)) {
            toCodePage = std::move(*opened);
        }
    }
    std::string text;
    for (const ServedFile& file : files) {
        std::string name(key);
        name += '\\';
        for (char c : file.relative) {
            name += c == '/' ? '\\' : c;
        }
        if (toCodePage) {
            if (auto converted = toCodePage->Convert(name)) {
                name = std::move(*converted);
            }
        }
        const auto duplicates = settings.duplicates.find(file.relative);
        const long long duplicateCount =
            duplicates == settings.duplicates.end() ? 0 : duplicates->second;
        text += file.id + '\t' + name + '\t' + std::to_string(file.size) + '\t' +
                net::FormatServiceDate(file.lastWrite).value_or(" ") + '\t' +
                std::to_string(duplicateCount) + "\t0\t";
    }
    for (const std::string& record : settings.extraRecords) {
        text += record;
    }
    if (!text.empty()) {
        text += "\r\n";
    }
    return text;
}

ParsedSettings LoadKeySettings(const std::string& root, std::string_view key) {
    if (!IsUsableKeyName(key)) {
        return {};
    }
    auto text = platform::ReadFileStart(platform::JoinName(root, std::string(key) + ".conf"),
                                        kSettingsLimit);
    if (!text) {
        return {};
    }
    return ParseKeySettings(*text);
}

}  // namespace qvn_service
