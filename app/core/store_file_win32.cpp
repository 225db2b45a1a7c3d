// Windows half of the store's files: no sharing while we hold them, positioned ReadFile/WriteFile,
// rename through the open handle so nobody can take the file between close and reopen.
#include <windows.h>

#include <cstring>
#include <utility>
#include <vector>

#include "app/core/store_file.hpp"

namespace core {

using store_testing::IoKind;
using store_file_detail::beforeChange;

namespace {
HANDLE asHandle(void* h) { return h ? static_cast<HANDLE>(h) : INVALID_HANDLE_VALUE; }

FileStatus statusOf(DWORD error) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return FileStatus::Missing;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION: return FileStatus::Locked;
    default: return FileStatus::Io;
    }
}

OVERLAPPED at(std::uint64_t offset) {
    OVERLAPPED o{};
    o.Offset = static_cast<DWORD>(offset);
    o.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return o;
}

constexpr std::size_t kChunk = 1u << 30;  // ReadFile/WriteFile take a DWORD count
}  // namespace

StoreFile::StoreFile(StoreFile&& other) noexcept : handle_(other.handle_) { other.handle_ = nullptr; }

StoreFile& StoreFile::operator=(StoreFile&& other) noexcept {
    if (this != &other) {
        close();
        handle_ = other.handle_;
        other.handle_ = nullptr;
    }
    return *this;
}

namespace {
FileStatus openWith(const std::filesystem::path& path, DWORD disposition, void*& out) {
    // Share mode 0: while we hold the pair no other process can read, write or rename it.
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, disposition,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return statusOf(GetLastError());
    if (GetFileType(h) != FILE_TYPE_DISK) {
        CloseHandle(h);
        return FileStatus::Io;
    }
    out = h;
    return FileStatus::Ok;
}
}  // namespace

FileStatus StoreFile::openExisting(const std::filesystem::path& path) {
    close();
    return openWith(path, OPEN_EXISTING, handle_);
}

FileStatus StoreFile::createEmpty(const std::filesystem::path& path) {
    close();
    return openWith(path, CREATE_ALWAYS, handle_);
}

bool StoreFile::isOpen() const { return handle_ != nullptr; }

void StoreFile::close() {
    if (handle_) CloseHandle(asHandle(handle_));
    handle_ = nullptr;
}

std::optional<std::uint64_t> StoreFile::size() const {
    LARGE_INTEGER s{};
    if (!handle_ || !GetFileSizeEx(asHandle(handle_), &s)) return std::nullopt;
    return static_cast<std::uint64_t>(s.QuadPart);
}

bool StoreFile::readAt(std::uint64_t offset, void* buffer, std::size_t n) const {
    if (!handle_) return false;
    store_file_detail::countRead();
    auto* p = static_cast<char*>(buffer);
    while (n > 0) {
        OVERLAPPED o = at(offset);
        DWORD got = 0;
        DWORD want = static_cast<DWORD>(n < kChunk ? n : kChunk);
        if (!ReadFile(asHandle(handle_), p, want, &got, &o) || got == 0) return false;
        p += got;
        offset += got;
        n -= got;
    }
    return true;
}

bool StoreFile::writeAt(std::uint64_t offset, std::span<const std::string_view> pieces) {
    if (!handle_) return false;
    std::size_t total = 0;
    for (std::string_view piece : pieces) total += piece.size();
    std::size_t left = beforeChange(IoKind::Write, offset, total);
    const std::size_t allowed = left;
    // WriteFileGather wants unbuffered page-sized buffers; one positioned write per piece does here.
    for (std::string_view piece : pieces) {
        const std::size_t n = piece.size() < left ? piece.size() : left;
        const char* p = piece.data();
        for (std::size_t rest = n; rest > 0;) {
            OVERLAPPED o = at(offset);
            DWORD put = 0;
            DWORD want = static_cast<DWORD>(rest < kChunk ? rest : kChunk);
            if (!WriteFile(asHandle(handle_), p, want, &put, &o) || put == 0) return false;
            p += put;
            offset += put;
            rest -= put;
        }
        left -= n;
        if (left == 0) break;
    }
    return allowed == total;
}

bool StoreFile::truncate(std::uint64_t newSize) {
    if (!handle_ || beforeChange(IoKind::Truncate, newSize, 1) < 1) return false;
    FILE_END_OF_FILE_INFO info{};
    info.EndOfFile.QuadPart = static_cast<LONGLONG>(newSize);
    return SetFileInformationByHandle(asHandle(handle_), FileEndOfFileInfo, &info, sizeof info) != 0;
}

bool StoreFile::sync() {
    if (!handle_ || beforeChange(IoKind::Sync, 0, 1) < 1) return false;
    return FlushFileBuffers(asHandle(handle_)) != 0;
}

bool StoreFile::replace(StoreFile& target, const std::filesystem::path& targetPath, StoreFile& replacement,
                        const std::filesystem::path& replacementPath) {
    if (!replacement.isOpen() || beforeChange(IoKind::Replace, 0, 1) < 1) return false;
    // Our own handle on the old file would make the rename fail with a sharing violation.
    target.close();
    const std::wstring name = targetPath.wstring();
    std::vector<unsigned char> buffer(sizeof(FILE_RENAME_INFO) + (name.size() + 1) * sizeof(wchar_t), 0);
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    info->ReplaceIfExists = TRUE;
    info->RootDirectory = nullptr;
    info->FileNameLength = static_cast<DWORD>(name.size() * sizeof(wchar_t));
    std::memcpy(info->FileName, name.c_str(), (name.size() + 1) * sizeof(wchar_t));
    if (SetFileInformationByHandle(asHandle(replacement.handle_), FileRenameInfo, info,
                                   static_cast<DWORD>(buffer.size()))) {
        target = std::move(replacement);
        (void)target.sync();
        return true;
    }
    // Older systems refuse the rename by handle; fall back to a rename by name.
    replacement.close();
    if (MoveFileExW(replacementPath.c_str(), targetPath.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return target.openExisting(targetPath) == FileStatus::Ok;
    }
    (void)target.openExisting(targetPath);
    return false;
}

}  // namespace core
