#include "runtime/files.hpp"

#include <fstream>
#include <system_error>

namespace rt {

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    std::string bytes;
    in.seekg(0, std::ios::end);
    auto size = in.tellg();
    if (size <= 0) return {};
    bytes.resize(static_cast<std::size_t>(size));
    in.seekg(0);
    in.read(bytes.data(), size);
    if (!in) return {};
    return bytes;
}

bool writeFile(const fs::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    return static_cast<bool>(out);
}

bool copyFile(const fs::path& from, const fs::path& to) {
    std::error_code ec;
    return fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec) && !ec;
}

bool deleteFile(const fs::path& path) {
    std::error_code ec;
    return fs::remove(path, ec) && !ec;
}

bool createFolder(const fs::path& path) {
    std::error_code ec;
    if (fs::is_directory(path, ec)) return true;
    return fs::create_directory(path, ec) && !ec;
}

fs::path programPath(const fs::path& programDir, std::string_view utf8Literal) {
    // The literal begins with a backslash; path pieces are joined with the native separator.
    std::u8string rest(utf8Literal.begin(), utf8Literal.end());
    fs::path out = programDir;
    std::size_t start = 0;
    while (start < rest.size()) {
        std::size_t sep = rest.find(u8'\\', start);
        if (sep == std::u8string::npos) sep = rest.size();
        if (sep > start) out /= fs::path(rest.substr(start, sep - start));
        start = sep + 1;
    }
    return out;
}

}  // namespace rt
