#include "app/core/store_file.hpp"

#include <atomic>
#include <system_error>

namespace core {

namespace {
std::atomic<store_testing::IoHook> gHook{nullptr};
std::atomic<std::uint64_t> gCalls{0};

template <class Char>
Char asciiLower(Char c) {
    return (c >= Char('A') && c <= Char('Z')) ? Char(c - Char('A') + Char('a')) : c;
}

template <class String>
bool equalIgnoringAsciiCase(const String& a, const String& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (asciiLower(a[i]) != asciiLower(b[i])) return false;
    return true;
}
}  // namespace

std::optional<std::filesystem::path> findIgnoringCase(const std::filesystem::path& folder,
                                                      const std::filesystem::path& name) {
    std::error_code ec;
    std::filesystem::path exact = folder / name;
    if (std::filesystem::is_regular_file(exact, ec)) return exact;
    std::optional<std::filesystem::path> found;
    std::filesystem::directory_iterator it(folder, ec), end;
    // Several spellings can sit side by side where case matters; the lowest one is taken so reruns agree.
    for (; !ec && it != end; it.increment(ec)) {
        const std::filesystem::path entry = it->path().filename();
        if (!equalIgnoringAsciiCase(entry.native(), name.native())) continue;
        if (!it->is_regular_file(ec)) continue;
        if (!found || entry.native() < found->filename().native()) found = it->path();
    }
    return found;
}

bool StoreFile::writeAt(std::uint64_t offset, const void* data, std::size_t n) {
    const std::string_view piece(static_cast<const char*>(data), n);
    return writeAt(offset, std::span<const std::string_view>(&piece, 1));
}

namespace store_testing {
void setIoHook(IoHook hook) { gHook.store(hook); }
std::uint64_t ioCallCount() { return gCalls.load(); }
}  // namespace store_testing

namespace store_file_detail {
std::size_t beforeChange(store_testing::IoKind kind, std::uint64_t offset, std::size_t size) {
    gCalls.fetch_add(1);
    if (auto hook = gHook.load()) {
        std::size_t allowed = hook(kind, offset, size);
        return allowed < size ? allowed : size;
    }
    return size;
}
void countRead() { gCalls.fetch_add(1); }
}  // namespace store_file_detail

}  // namespace core
