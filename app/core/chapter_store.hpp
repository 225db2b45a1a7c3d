#pragma once
// The chapter store: one record per chapter (name and text) in a pair of files, data.edb and data.edt,
// with a single cursor shared by the whole application. Layout of the files: store_format.hpp.
//
// What the store promises: a process killed at any instant leaves every record holding its old or its
// new value; a torn or damaged value is reported, never returned as text; a save of what is already
// stored touches no file; every change has reached the operating system when the call returns.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/core/store_file.hpp"
#include "app/core/store_format.hpp"
#include "runtime/ui.hpp"

namespace core {

enum class OpenFailure { None, Missing, Locked, Damaged, Io };

class ChapterStore {
public:
    ChapterStore() = default;
    ChapterStore(const ChapterStore&) = delete;
    ChapterStore& operator=(const ChapterStore&) = delete;

    // Opens the pair (the companion is the same name with ".edt"); names match ignoring letter case.
    // Writes nothing. Every other operation is safe, and does nothing, while the store is not open.
    [[nodiscard]] bool Open(const std::filesystem::path& mainFile);
    [[nodiscard]] OpenFailure openFailure() const { return failure_; }
    // The file of the pair that made Open fail.
    [[nodiscard]] std::filesystem::path failedFile() const { return failedFile_; }

    void GoFirst();
    [[nodiscard]] bool IsPastEnd() const;
    [[nodiscard]] bool IsDeleted() const;
    // From 1; 0 when the cursor is on no record.
    [[nodiscard]] int RecordNumber() const;
    void Skip(int count);

    // Field names are GBK. "名称" gives the name up to its first NUL; "内容" gives the stored bytes, or
    // nothing when the value is damaged (lastReadDamaged then says so).
    [[nodiscard]] std::string ReadField(std::string_view gbkFieldName) const;
    [[nodiscard]] bool lastReadDamaged() const { return lastReadDamaged_; }

    // (GBK field name, value bytes) pairs for the current record. A name is cut to 512 bytes at a
    // character boundary. With the cursor on no record nothing is written and the result is false.
    [[nodiscard]] bool ModifyCurrent(std::initializer_list<std::pair<std::string_view, std::string_view>> fieldValues);
    [[nodiscard]] bool AppendBlank();
    [[nodiscard]] bool DeleteCurrent();
    // Drops the records marked deleted, moves the values down into free space, zeroes what stays free
    // and gives the free tail back. The cursor is left past the end.
    [[nodiscard]] bool Compact();

    // Reads every value and checks that no two share a block; empty when all is well, otherwise what is wrong.
    [[nodiscard]] std::string checkIntegrity();

private:
    using Extent = store_format::Extent;

    // Leaves new bytes as they are: Open reads the main file straight over them.
    template <class T>
    struct UninitialisedAllocator : std::allocator<T> {
        template <class U>
        struct rebind {
            using other = UninitialisedAllocator<U>;
        };
        UninitialisedAllocator() = default;
        template <class U>
        UninitialisedAllocator(const UninitialisedAllocator<U>&) noexcept {}
        template <class U>
        void construct(U* p) noexcept {
            ::new (static_cast<void*>(p)) U;
        }
        template <class U, class... Args>
        void construct(U* p, Args&&... args) {
            ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
        }
    };
    using Bytes = std::vector<unsigned char, UninitialisedAllocator<unsigned char>>;

    struct Slot {
        std::uint16_t nameLength = 0;  // of the name in the record, up to its first NUL
        // Set when the record's own name was torn by a crash: the value's copy (in tornNames_) counts.
        bool nameFromValue = false;
        // Length and hash of the stored content, once read or written.
        bool known = false;
        bool damaged = false;
        // The value header could not be read, so its blocks are unknown (only its first is kept).
        bool unreadable = false;
        std::uint64_t length = 0;
        std::uint64_t hash = 0;
        // Where the value lies and its content length by its header, once the block map is built;
        // empty with reference 0.
        std::uint64_t storedLength = 0;
        std::vector<Extent> extents;
    };

    struct Value {
        store_format::ValueHeader header;
        std::string content;
        bool headerOk = false;
        bool contentOk = false;
        bool ioError = false;  // a read failed, which says nothing about the value itself
    };

    void reset();
    [[nodiscard]] bool openPair(const std::filesystem::path& mainFile);
    [[nodiscard]] OpenFailure loadMain();
    [[nodiscard]] OpenFailure loadCompanion();

    [[nodiscard]] unsigned char* recordAt(std::size_t index);
    [[nodiscard]] const unsigned char* recordAt(std::size_t index) const;
    [[nodiscard]] std::uint32_t refOf(std::size_t index) const;
    [[nodiscard]] std::string storedName(std::size_t index) const;
    [[nodiscard]] std::string nameOf(std::size_t index) const;
    [[nodiscard]] bool onRecord() const { return open_ && cursor_ < slots_.size(); }
    [[nodiscard]] int fieldOf(std::string_view gbkFieldName) const;

    // Reads the value at ref; wantContent false stops after the header and name.
    [[nodiscard]] Value readValue(std::uint32_t ref, bool wantContent) const;
    // The same from the value's first block, already read.
    [[nodiscard]] Value parseValue(std::uint32_t ref, const unsigned char* block, bool wantContent) const;
    [[nodiscard]] bool readStream(const std::vector<Extent>& extents, std::uint64_t offset, char* out,
                                  std::size_t size) const;
    [[nodiscard]] bool loadContent(std::size_t index, std::string& content) const;
    [[nodiscard]] bool contentEquals(std::size_t index, std::string_view content, std::uint64_t hash) const;

    [[nodiscard]] bool ensureBlockMap();
    void claim(const std::vector<Extent>& extents);
    void release(const std::vector<Extent>& extents);
    void removeFree(std::uint32_t first, std::uint32_t count);
    [[nodiscard]] std::vector<Extent> allocate(std::size_t nameLength, std::uint64_t contentLength,
                                               std::uint64_t replacedBlocks);
    // The lowest free run holding `blocks` that ends at or below limit, or nothing.
    [[nodiscard]] std::vector<Extent> allocateBelow(std::uint64_t blocks, std::uint64_t limit);
    // Blocks [first, first + blocks), free or past the end of the file, claimed as one extent.
    [[nodiscard]] std::vector<Extent> take(std::uint64_t first, std::uint64_t blocks);
    [[nodiscard]] bool writeStream(const std::vector<Extent>& extents, std::string_view header,
                                   std::string_view content);
    // Keeps the record's deletion mark.
    [[nodiscard]] bool writeRecord(std::size_t index, std::uint32_t ref, std::string_view name);
    void recoverRecord(std::size_t index);
    void noteBlockCount();
    [[nodiscard]] bool cutFreeTail();
    void keepWithinBound();
    [[nodiscard]] bool writeValue(std::size_t index, std::string_view name, std::string_view content,
                                  std::uint64_t hash, std::uint32_t flags);
    [[nodiscard]] bool dropMarked();
    enum class Move { Moved, Stayed, Failed };
    // Where a moved value goes, given its size in blocks as one extent; nothing to leave it.
    using Placer = std::function<std::vector<Extent>(std::uint64_t blocks)>;
    [[nodiscard]] Move moveValue(std::size_t index, const Placer& place);
    [[nodiscard]] bool zeroFreeBlocks();

    StoreFile main_;
    StoreFile data_;
    std::filesystem::path mainPath_;
    std::filesystem::path dataPath_;
    OpenFailure failure_ = OpenFailure::None;
    std::filesystem::path failedFile_;
    bool open_ = false;

    // The main file as written: header, field table and the records (write-through).
    Bytes image_;
    mutable std::vector<Slot> slots_;  // reading fills in what is known about a value
    std::map<std::size_t, std::string> tornNames_;
    std::size_t cursor_ = 0;

    // Companion file: its length in blocks and, once built, who holds each block.
    std::uint64_t dataBlocks_ = 0;
    bool mapBuilt_ = false;
    std::vector<std::uint8_t> claims_;                       // holders per block, saturating
    std::vector<std::pair<std::uint32_t, std::uint32_t>> free_;  // free runs (first, count), by address
    std::uint64_t usedBlocks_ = 0;
    std::uint32_t noteBlocks_ = 0;  // last block count written into block 0

    // The text of the record last read, so saving a chapter just loaded costs one compare. After a
    // save the stored length and hash stand in for it (a 64-bit hash: a false match is out of reach).
    mutable std::size_t cachedIndex_ = SIZE_MAX;
    mutable std::string cachedContent_;
    mutable bool lastReadDamaged_ = false;
};

// Puts the cursor on the n-th live record and returns true; otherwise shows the fatal message,
// ends the program through ui and returns false (reached only when ui.endProgram returns, as in tests).
[[nodiscard]] bool SeekLiveRecord(ChapterStore& store, int n, rt::Ui& ui);

// The two fields of a chapter record, spelt as the store spells them (GBK).
[[nodiscard]] const std::string& contentFieldName();  // "内容": the chapter's text
[[nodiscard]] const std::string& nameFieldName();     // "名称": the chapter's name

}  // namespace core
