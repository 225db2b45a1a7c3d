#pragma once
// Byte layout of the chapter store's pair of files, shared by the store and by tests that build damaged files.
//
// Main file: header, field table and 520-byte records, exactly as installed.
// Companion file: 512-byte blocks; block 0 keeps its installed header, every other block belongs to
// at most one value. A record's 4-byte reference names the first block of its value. A value is one
// stream (value header, name, content) laid out over up to kMaxExtents runs of blocks:
//
//   0  "PLV1"            8  content length     24 name length     28 flags
//   4  header length H  16  content hash       26 run count n     32 header check (over [0,H), this field 0)
//   36 zero             40  n runs {first block, block count}, then the name, then the content at H.
//
// The value carries the record's name too: a record whose header word does not match its reference and
// name was torn by a crash, and then the name is taken from the value its reference points to.
#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace core::store_format {

static_assert(std::endian::native == std::endian::little, "the store reads and writes its integers in place");

inline constexpr std::size_t kBlockSize = 512;
inline constexpr std::size_t kRecordSize = 520;
inline constexpr std::size_t kNameSize = 512;
inline constexpr std::size_t kRefOffset = 4;
inline constexpr std::size_t kNameOffset = 8;

inline constexpr std::size_t kRecordCountOffset = 16;
inline constexpr std::size_t kRecordLengthOffset = 24;
inline constexpr std::size_t kFieldCountOffset = 112;
inline constexpr std::size_t kFieldTableOffset = 116;
inline constexpr std::size_t kFieldDescriptorSize = 72;
inline constexpr std::size_t kFieldNameSize = 20;
inline constexpr std::size_t kFieldCount = 2;
inline constexpr std::size_t kRecordsOffset = kFieldTableOffset + kFieldCount * kFieldDescriptorSize;  // 260
inline constexpr std::uint32_t kTypeText = 10;
inline constexpr std::uint32_t kTypeBytes = 11;

inline constexpr std::size_t kBlockCountOffset = 16;  // in block 0 of the companion file

inline constexpr char kMainMagic[4] = {'W', 'E', 'D', 'B'};
inline constexpr char kDataMagic[4] = {'W', 'E', 'D', 'T'};
inline constexpr char kVersion[4] = {0, 0, 1, 0};

inline constexpr char kValueTag[4] = {'P', 'L', 'V', '1'};
inline constexpr std::size_t kValueFixedSize = 40;
inline constexpr std::size_t kMaxExtents = 32;
inline constexpr std::uint32_t kValueLost = 1;  // the content could not be read back when the value was moved

// Limits that keep a hostile pair from making the store allocate without bound.
inline constexpr std::uint32_t kMaxRecords = 200'000;
inline constexpr std::uint64_t kMaxDataBlocks = 1ull << 23;  // a 4 GiB companion file
inline constexpr std::uint64_t kMaxContentLength = 1ull << 30;

inline constexpr std::uint32_t kDeletedBit = 0x8000'0000u;

struct Extent {
    std::uint32_t first = 0;
    std::uint32_t count = 0;
    friend bool operator==(const Extent&, const Extent&) = default;
};

inline std::uint32_t load32(const void* p) {
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}
inline std::uint16_t load16(const void* p) {
    std::uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}
inline std::uint64_t load64(const void* p) {
    std::uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}
inline void store32(void* p, std::uint32_t v) { std::memcpy(p, &v, 4); }
inline void store16(void* p, std::uint16_t v) { std::memcpy(p, &v, 2); }
inline void store64(void* p, std::uint64_t v) { std::memcpy(p, &v, 8); }

// Fast 64-bit hash, four lanes: checking a 1 MB chapter must cost well under a millisecond.
inline std::uint64_t hash64(const void* data, std::size_t size, std::uint64_t seed = 0) {
    constexpr std::uint64_t p1 = 0x9E3779B185EBCA87ull, p2 = 0xC2B2AE3D27D4EB4Full, p3 = 0x165667B19E3779F9ull,
                            p4 = 0x85EBCA77C2B2AE63ull, p5 = 0x27D4EB2F165667C5ull;
    auto round = [](std::uint64_t acc, std::uint64_t lane) { return std::rotl(acc + lane * p2, 31) * p1; };
    auto merge = [&](std::uint64_t acc, std::uint64_t v) { return (acc ^ round(0, v)) * p1 + p4; };
    const auto* p = static_cast<const unsigned char*>(data);
    const unsigned char* end = p + size;
    std::uint64_t h;
    if (size >= 32) {
        std::uint64_t v1 = seed + p1 + p2, v2 = seed + p2, v3 = seed, v4 = seed - p1;
        for (; end - p >= 32; p += 32) {
            v1 = round(v1, load64(p));
            v2 = round(v2, load64(p + 8));
            v3 = round(v3, load64(p + 16));
            v4 = round(v4, load64(p + 24));
        }
        h = std::rotl(v1, 1) + std::rotl(v2, 7) + std::rotl(v3, 12) + std::rotl(v4, 18);
        h = merge(merge(merge(merge(h, v1), v2), v3), v4);
    } else {
        h = seed + p5;
    }
    h += size;
    for (; end - p >= 8; p += 8) h = std::rotl(h ^ round(0, load64(p)), 27) * p1 + p4;
    if (end - p >= 4) {
        h = std::rotl(h ^ (std::uint64_t{load32(p)} * p1), 23) * p2 + p3;
        p += 4;
    }
    for (; p < end; ++p) h = std::rotl(h ^ (*p * p5), 11) * p1;
    h ^= h >> 33;
    h *= p2;
    h ^= h >> 29;
    h *= p3;
    h ^= h >> 32;
    return h;
}

// The header word this program gives a live record: a 31-bit check of its reference and its name
// field, so Open can tell a whole record from one torn by a crash. The field is taken eight bytes at
// a time up to the word holding the name's first NUL, which also gives the name's length: checking
// a record costs about as much as reading it.
inline std::uint32_t recordCheck(std::uint32_t ref, const unsigned char* nameField, std::size_t* nameLength = nullptr) {
    constexpr std::uint64_t p1 = 0x9E3779B185EBCA87ull, p2 = 0xC2B2AE3D27D4EB4Full, p3 = 0x165667B19E3779F9ull;
    constexpr std::uint64_t ones = 0x0101010101010101ull, highs = 0x8080808080808080ull;
    std::uint64_t h = (0x5245434Bull + ref) * p1;
    std::size_t length = kNameSize;
    for (std::size_t i = 0; i < kNameSize; i += 8) {
        const std::uint64_t word = load64(nameField + i);
        h = std::rotl(h ^ (word * p2), 31) * p1;
        // The lowest flagged byte is the first zero byte of the word.
        if (const std::uint64_t zeros = (word - ones) & ~word & highs) {
            length = i + static_cast<std::size_t>(std::countr_zero(zeros)) / 8;
            break;
        }
    }
    if (nameLength) *nameLength = length;
    h ^= h >> 33;
    h *= p3;
    h ^= h >> 29;
    return static_cast<std::uint32_t>(h) & ~kDeletedBit;
}

// The same for a name as it will be written: NUL-padded to the whole field.
inline std::uint32_t recordCheck(std::uint32_t ref, std::string_view name) {
    unsigned char field[kNameSize] = {};
    std::memcpy(field, name.data(), name.size() < kNameSize ? name.size() : kNameSize);
    return recordCheck(ref, field);
}

inline std::uint64_t contentHash(std::string_view content) { return hash64(content.data(), content.size(), 0x434E54ull); }

inline std::uint64_t blocksFor(std::uint64_t bytes) { return (bytes + kBlockSize - 1) / kBlockSize; }

inline std::size_t valueHeaderSize(std::size_t extentCount, std::size_t nameLength) {
    return kValueFixedSize + 8 * extentCount + nameLength;
}

struct ValueHeader {
    std::uint64_t contentLength = 0;
    std::uint64_t contentHash = 0;
    std::uint32_t flags = 0;
    std::vector<Extent> extents;
    std::string name;
};

inline std::uint32_t valueHeaderCheck(const unsigned char* header, std::size_t size) {
    // The check field itself counts as zero.
    std::uint64_t h = hash64(header, 32, 0x48445231ull);
    h = hash64(header + 36, size - 36, h);
    return static_cast<std::uint32_t>(h);
}

inline std::string encodeValueHeader(const ValueHeader& v) {
    std::string out(valueHeaderSize(v.extents.size(), v.name.size()), '\0');
    auto* p = reinterpret_cast<unsigned char*>(out.data());
    std::memcpy(p, kValueTag, 4);
    store32(p + 4, static_cast<std::uint32_t>(out.size()));
    store64(p + 8, v.contentLength);
    store64(p + 16, v.contentHash);
    store16(p + 24, static_cast<std::uint16_t>(v.name.size()));
    store16(p + 26, static_cast<std::uint16_t>(v.extents.size()));
    store32(p + 28, v.flags);
    for (std::size_t i = 0; i < v.extents.size(); ++i) {
        store32(p + kValueFixedSize + 8 * i, v.extents[i].first);
        store32(p + kValueFixedSize + 8 * i + 4, v.extents[i].count);
    }
    std::memcpy(p + kValueFixedSize + 8 * v.extents.size(), v.name.data(), v.name.size());
    store32(p + 32, valueHeaderCheck(p, out.size()));
    return out;
}

}  // namespace core::store_format
