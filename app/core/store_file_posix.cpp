// POSIX half of the store's files: flock for the one-writer rule, pread/pwrite, rename.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <vector>
#include <utility>

#include "app/core/store_file.hpp"

namespace core {

using store_testing::IoKind;
using store_file_detail::beforeChange;

StoreFile::StoreFile(StoreFile&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }

StoreFile& StoreFile::operator=(StoreFile&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

namespace {
FileStatus statusOf(int error) {
    if (error == ENOENT || error == ENOTDIR) return FileStatus::Missing;
    return FileStatus::Io;
}

// flock, not fcntl locks: fcntl locks belong to the process and vanish when any descriptor of the
// file is closed, and a second open in the same process would not be refused.
FileStatus lockAndCheck(int fd) {
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) return errno == EWOULDBLOCK ? FileStatus::Locked : FileStatus::Io;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return FileStatus::Io;
    return FileStatus::Ok;
}
}  // namespace

FileStatus StoreFile::openExisting(const std::filesystem::path& path) {
    close();
    int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return statusOf(errno);
    FileStatus status = lockAndCheck(fd);
    if (status != FileStatus::Ok) {
        ::close(fd);
        return status;
    }
    fd_ = fd;
    return FileStatus::Ok;
}

FileStatus StoreFile::createEmpty(const std::filesystem::path& path) {
    close();
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0) return statusOf(errno);
    FileStatus status = lockAndCheck(fd);
    // Emptied only once we hold it, so a file someone else holds is left alone.
    if (status == FileStatus::Ok && ::ftruncate(fd, 0) != 0) status = FileStatus::Io;
    if (status != FileStatus::Ok) {
        ::close(fd);
        return status;
    }
    fd_ = fd;
    return FileStatus::Ok;
}

bool StoreFile::isOpen() const { return fd_ >= 0; }

void StoreFile::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

std::optional<std::uint64_t> StoreFile::size() const {
    struct stat st {};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0) return std::nullopt;
    return static_cast<std::uint64_t>(st.st_size);
}

bool StoreFile::readAt(std::uint64_t offset, void* buffer, std::size_t n) const {
    if (fd_ < 0) return false;
    store_file_detail::countRead();
    auto* p = static_cast<char*>(buffer);
    while (n > 0) {
        ssize_t got = ::pread(fd_, p, n, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        p += got;
        offset += static_cast<std::uint64_t>(got);
        n -= static_cast<std::size_t>(got);
    }
    return true;
}

bool StoreFile::writeAt(std::uint64_t offset, std::span<const std::string_view> pieces) {
    if (fd_ < 0) return false;
    std::size_t total = 0;
    for (std::string_view piece : pieces) total += piece.size();
    std::size_t allowed = beforeChange(IoKind::Write, offset, total);
    std::vector<iovec> vecs;
    vecs.reserve(pieces.size());
    for (std::size_t left = allowed; std::string_view piece : pieces) {
        if (left == 0) break;
        const std::size_t n = std::min(piece.size(), left);
        if (n > 0) vecs.push_back({const_cast<char*>(piece.data()), n});
        left -= n;
    }
    std::size_t first = 0;
    while (first < vecs.size()) {
        const int count = static_cast<int>(std::min<std::size_t>(vecs.size() - first, IOV_MAX));
        ssize_t put = ::pwritev(fd_, vecs.data() + first, count, static_cast<off_t>(offset));
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        offset += static_cast<std::uint64_t>(put);
        // Step over what went out; a short write leaves part of one piece.
        for (auto done = static_cast<std::size_t>(put); done > 0;) {
            if (vecs[first].iov_len <= done) {
                done -= vecs[first++].iov_len;
            } else {
                vecs[first].iov_base = static_cast<char*>(vecs[first].iov_base) + done;
                vecs[first].iov_len -= done;
                done = 0;
            }
        }
    }
    return allowed == total;
}

bool StoreFile::truncate(std::uint64_t newSize) {
    if (fd_ < 0 || beforeChange(IoKind::Truncate, newSize, 1) < 1) return false;
    return ::ftruncate(fd_, static_cast<off_t>(newSize)) == 0;
}

bool StoreFile::sync() {
    if (fd_ < 0 || beforeChange(IoKind::Sync, 0, 1) < 1) return false;
    return ::fdatasync(fd_) == 0;
}

bool StoreFile::replace(StoreFile& target, const std::filesystem::path& targetPath, StoreFile& replacement,
                        const std::filesystem::path& replacementPath) {
    if (!replacement.isOpen() || beforeChange(IoKind::Replace, 0, 1) < 1) return false;
    // The replacement is already locked, so the lock moves with it and no other opener slips in.
    if (::rename(replacementPath.c_str(), targetPath.c_str()) != 0) return false;
    target = std::move(replacement);
    // The new name must reach the disk too, or a power cut could bring the old file back.
    int dir = ::open(targetPath.parent_path().empty() ? "." : targetPath.parent_path().c_str(),
                     O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        (void)::fsync(dir);
        ::close(dir);
    }
    return true;
}

}  // namespace core
