#pragma once
// One file of the chapter store: held open for the whole run and denied to every other opener,
// read and written at fixed offsets, never buffered in the process. The platform halves are
// store_file_posix.cpp and store_file_win32.cpp.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string_view>

namespace core {

enum class FileStatus { Ok, Missing, Locked, Io };

class StoreFile {
public:
    StoreFile() = default;
    ~StoreFile() { close(); }
    StoreFile(StoreFile&& other) noexcept;
    StoreFile& operator=(StoreFile&& other) noexcept;
    StoreFile(const StoreFile&) = delete;
    StoreFile& operator=(const StoreFile&) = delete;

    // An existing file, for reading and writing; fails with Locked while another opener holds it.
    [[nodiscard]] FileStatus openExisting(const std::filesystem::path& path);
    // Creates the file, or empties an existing one that nobody holds.
    [[nodiscard]] FileStatus createEmpty(const std::filesystem::path& path);
    [[nodiscard]] bool isOpen() const;
    void close();

    [[nodiscard]] std::optional<std::uint64_t> size() const;
    // All n bytes or false (a short file counts as failure).
    [[nodiscard]] bool readAt(std::uint64_t offset, void* buffer, std::size_t n) const;
    [[nodiscard]] bool writeAt(std::uint64_t offset, const void* data, std::size_t n);
    // The pieces one after another from offset, without gathering them into one buffer first.
    [[nodiscard]] bool writeAt(std::uint64_t offset, std::span<const std::string_view> pieces);
    [[nodiscard]] bool truncate(std::uint64_t size);
    // Down to the disk; used where a later rename must not overtake the data.
    [[nodiscard]] bool sync();

    // Puts `replacement` (open, named replacementPath) in the place of `target` (open, named targetPath)
    // in one atomic step. Afterwards `target` holds the new file under targetPath, still denied to others,
    // and `replacement` is closed. On failure `target` still holds the old file where the platform allows.
    [[nodiscard]] static bool replace(StoreFile& target, const std::filesystem::path& targetPath, StoreFile& replacement,
                                      const std::filesystem::path& replacementPath);

private:
#ifdef _WIN32
    void* handle_ = nullptr;
#else
    int fd_ = -1;
#endif
};

// The entry of `folder` whose name equals `name` ignoring the case of ASCII letters; an exact match wins.
[[nodiscard]] std::optional<std::filesystem::path> findIgnoringCase(const std::filesystem::path& folder,
                                                                    const std::filesystem::path& name);

// Test hooks: fault injection and I/O counting. Production code never sets a hook.
namespace store_testing {
enum class IoKind { Write, Truncate, Replace, Sync };
// Called before every change to a store file with its offset (writes) and size. Returns how many bytes to
// let through: all of them normally; fewer make the call fail after writing only that prefix.
using IoHook = std::size_t (*)(IoKind kind, std::uint64_t offset, std::size_t size);
void setIoHook(IoHook hook);
// Reads and changes made on store files by this process so far.
[[nodiscard]] std::uint64_t ioCallCount();
}  // namespace store_testing

namespace store_file_detail {
// Counts the call and asks the hook; returns the number of bytes allowed.
std::size_t beforeChange(store_testing::IoKind kind, std::uint64_t offset, std::size_t size);
void countRead();
}  // namespace store_file_detail

}  // namespace core
