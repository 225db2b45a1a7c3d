#pragma once
// Whole-file operations. Callers that deliberately ignore failure say so with (void).
#include <filesystem>
#include <string>
#include <string_view>

namespace rt {

namespace fs = std::filesystem;

// A missing or unreadable file reads as empty.
[[nodiscard]] std::string readFile(const fs::path& path);
// Creates or replaces the file with exactly these bytes.
[[nodiscard]] bool writeFile(const fs::path& path, std::string_view bytes);
[[nodiscard]] bool copyFile(const fs::path& from, const fs::path& to);
[[nodiscard]] bool deleteFile(const fs::path& path);
// One level only: the parent must exist. An existing folder counts as success.
[[nodiscard]] bool createFolder(const fs::path& path);

// Program directory followed by a literal that begins with a backslash ("\小说数据\data.edb").
[[nodiscard]] fs::path programPath(const fs::path& programDir, std::string_view utf8Literal);

}  // namespace rt
