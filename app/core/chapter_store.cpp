#include "app/core/chapter_store.hpp"

#include <algorithm>
#include <cstring>
#include <exception>
#include <functional>
#include <iterator>
#include <optional>
#include <system_error>

#include "runtime/text.hpp"

namespace core {

namespace fmt = store_format;
using fmt::Extent;

const std::string& contentFieldName() {
    static const std::string name = rt::gbk(u8"内容");
    return name;
}
const std::string& nameFieldName() {
    static const std::string name = rt::gbk(u8"名称");
    return name;
}

namespace {

#ifdef PENLOOM_STORE_FUZZING
// The fuzzer cannot forge checksums; with them ignored it reaches the layout checks behind them.
constexpr bool kChecksCount = false;
#else
constexpr bool kChecksCount = true;
#endif

// What ReadField would give back for this value of 名称.
std::string normalName(std::string_view value) {
    std::string cut = rt::cutAtCharBoundary(value, fmt::kNameSize);
    if (auto nul = cut.find('\0'); nul != std::string::npos) cut.resize(nul);
    return cut;
}

std::uint64_t blockCount(const std::vector<Extent>& extents) {
    std::uint64_t n = 0;
    for (const Extent& e : extents) n += e.count;
    return n;
}

std::uint64_t lowestOf(const std::vector<Extent>& extents) {
    std::uint64_t low = UINT64_MAX;
    for (const Extent& e : extents) low = std::min<std::uint64_t>(low, e.first);
    return low;
}

std::uint64_t endOf(const std::vector<Extent>& extents) {
    std::uint64_t end = 0;
    for (const Extent& e : extents) end = std::max<std::uint64_t>(end, std::uint64_t{e.first} + e.count);
    return end;
}

constexpr std::uint64_t recordOffset(std::size_t index) { return fmt::kRecordsOffset + index * fmt::kRecordSize; }

}  // namespace

// ---------------------------------------------------------------------------------------------
// Opening

void ChapterStore::reset() {
    main_.close();
    data_.close();
    open_ = false;
    mainPath_.clear();
    dataPath_.clear();
    image_.clear();
    slots_.clear();
    tornNames_.clear();
    cursor_ = 0;
    dataBlocks_ = 0;
    mapBuilt_ = false;
    claims_.clear();
    free_.clear();
    usedBlocks_ = 0;
    noteBlocks_ = 0;
    cachedIndex_ = SIZE_MAX;
    cachedContent_.clear();
    lastReadDamaged_ = false;
}

bool ChapterStore::Open(const std::filesystem::path& mainFile) {
    reset();
    failure_ = OpenFailure::None;
    failedFile_.clear();
    try {
        if (openPair(mainFile)) {
            open_ = true;
            return true;
        }
    } catch (const std::exception&) {
        if (failure_ == OpenFailure::None) {
            failure_ = OpenFailure::Io;
            failedFile_ = mainPath_.empty() ? mainFile : mainPath_;
        }
    }
    reset();
    return false;
}

namespace {
OpenFailure failureOf(FileStatus status) {
    switch (status) {
    case FileStatus::Ok: return OpenFailure::None;
    case FileStatus::Missing: return OpenFailure::Missing;
    case FileStatus::Locked: return OpenFailure::Locked;
    case FileStatus::Io: return OpenFailure::Io;
    }
    return OpenFailure::Io;
}
}  // namespace

bool ChapterStore::openPair(const std::filesystem::path& mainFile) {
    auto fail = [&](OpenFailure why, const std::filesystem::path& file) {
        failure_ = why;
        failedFile_ = file;
        return false;
    };
    const std::filesystem::path folder = mainFile.has_parent_path() ? mainFile.parent_path() : ".";
    auto mainFound = findIgnoringCase(folder, mainFile.filename());
    if (!mainFound) return fail(OpenFailure::Missing, mainFile);
    mainPath_ = *mainFound;
    std::filesystem::path dataName = mainPath_.filename();
    dataName.replace_extension(".edt");
    auto dataFound = findIgnoringCase(folder, dataName);
    if (!dataFound) return fail(OpenFailure::Missing, folder / dataName);
    dataPath_ = *dataFound;

    if (OpenFailure why = failureOf(main_.openExisting(mainPath_)); why != OpenFailure::None)
        return fail(why, mainPath_);
    if (OpenFailure why = failureOf(data_.openExisting(dataPath_)); why != OpenFailure::None)
        return fail(why, dataPath_);
    if (OpenFailure why = loadMain(); why != OpenFailure::None) return fail(why, mainPath_);
    if (OpenFailure why = loadCompanion(); why != OpenFailure::None) return fail(why, dataPath_);

    slots_.resize((image_.size() - fmt::kRecordsOffset) / fmt::kRecordSize);
    for (std::size_t i = 0; i < slots_.size(); ++i) {
        recoverRecord(i);
        if (refOf(i) == 0) {
            slots_[i].known = true;
            slots_[i].hash = fmt::contentHash({});
        }
    }
    return true;
}

OpenFailure ChapterStore::loadMain() {
    auto size = main_.size();
    if (!size) return OpenFailure::Io;
    if (*size < fmt::kRecordsOffset) return OpenFailure::Damaged;
    // One read of the whole file for ordinary stores; a large file is read up to its last record only.
    constexpr std::uint64_t kWholeRead = 1u << 20;
    std::uint64_t wanted = *size;
    if (*size > kWholeRead) {
        unsigned char head[fmt::kRecordsOffset];
        if (!main_.readAt(0, head, sizeof head)) return OpenFailure::Io;
        std::uint32_t count = fmt::load32(head + fmt::kRecordCountOffset);
        if (count > fmt::kMaxRecords) return OpenFailure::Damaged;
        wanted = std::min<std::uint64_t>(*size, recordOffset(count));
    }
    image_.resize(wanted);
    if (!main_.readAt(0, image_.data(), wanted)) return OpenFailure::Io;

    const unsigned char* p = image_.data();
    if (std::memcmp(p, fmt::kMainMagic, 4) != 0 || std::memcmp(p + 4, fmt::kVersion, 4) != 0)
        return OpenFailure::Damaged;
    if (fmt::load32(p + fmt::kRecordLengthOffset) != fmt::kRecordSize) return OpenFailure::Damaged;
    if (fmt::load32(p + fmt::kFieldCountOffset) != fmt::kFieldCount) return OpenFailure::Damaged;
    bool haveContent = false, haveName = false;
    for (std::size_t f = 0; f < fmt::kFieldCount; ++f) {
        const unsigned char* d = p + fmt::kFieldTableOffset + f * fmt::kFieldDescriptorSize;
        const char* text = reinterpret_cast<const char*>(d);
        std::string_view name(text, strnlen(text, fmt::kFieldNameSize));
        std::uint32_t type = fmt::load32(d + 20), offset = fmt::load32(d + 24), width = fmt::load32(d + 28);
        if (!haveContent && name == contentFieldName() && type == fmt::kTypeBytes && offset == fmt::kRefOffset &&
            width == 0)
            haveContent = true;
        else if (!haveName && name == nameFieldName() && type == fmt::kTypeText && offset == fmt::kNameOffset &&
                 width == fmt::kNameSize)
            haveName = true;
        else
            return OpenFailure::Damaged;
    }

    std::uint32_t count = fmt::load32(p + fmt::kRecordCountOffset);
    if (count > fmt::kMaxRecords) return OpenFailure::Damaged;
    // A count beyond the end of the file keeps the records that are there.
    std::uint64_t whole = (image_.size() - fmt::kRecordsOffset) / fmt::kRecordSize;
    std::uint64_t records = std::min<std::uint64_t>(count, whole);
    image_.resize(recordOffset(records));
    fmt::store32(image_.data() + fmt::kRecordCountOffset, static_cast<std::uint32_t>(records));
    return OpenFailure::None;
}

OpenFailure ChapterStore::loadCompanion() {
    auto size = data_.size();
    if (!size) return OpenFailure::Io;
    if (*size < fmt::kBlockSize) return OpenFailure::Damaged;
    unsigned char head[fmt::kBlockSize];
    if (!data_.readAt(0, head, sizeof head)) return OpenFailure::Io;
    if (std::memcmp(head, fmt::kDataMagic, 4) != 0 || std::memcmp(head + 4, fmt::kVersion, 4) != 0)
        return OpenFailure::Damaged;
    // The file's real length counts, not the block count noted in its header: a crash may part them.
    dataBlocks_ = *size / fmt::kBlockSize;
    if (dataBlocks_ > fmt::kMaxDataBlocks) return OpenFailure::Damaged;
    noteBlocks_ = fmt::load32(head + fmt::kBlockCountOffset);
    return OpenFailure::None;
}

// Takes the record as it is in image_ and decides where its name comes from.
void ChapterStore::recoverRecord(std::size_t index) {
    Slot& slot = slots_[index];
    const std::uint32_t ref = refOf(index);
    const std::uint32_t word = fmt::load32(recordAt(index));
    std::size_t nameLength = 0;
    const std::uint32_t check = fmt::recordCheck(ref, recordAt(index) + fmt::kNameOffset, &nameLength);
    slot.nameLength = static_cast<std::uint16_t>(nameLength);
    if (slot.nameFromValue) tornNames_.erase(index);
    slot.nameFromValue = false;
    if ((word & ~fmt::kDeletedBit) == check) return;
    // Torn: the reference is written before the name in one call, so the value it names holds the
    // name that belongs with it. A record without value never had a name written by us.
    if (ref == 0) {
        slot.nameFromValue = true;
        return;
    }
    Value v = readValue(ref, false);
    if (v.headerOk) {
        slot.nameFromValue = true;
        tornNames_[index] = std::move(v.header.name);
    }
}

// ---------------------------------------------------------------------------------------------
// Cursor and reading

unsigned char* ChapterStore::recordAt(std::size_t index) { return image_.data() + recordOffset(index); }
const unsigned char* ChapterStore::recordAt(std::size_t index) const { return image_.data() + recordOffset(index); }

std::uint32_t ChapterStore::refOf(std::size_t index) const { return fmt::load32(recordAt(index) + fmt::kRefOffset); }

std::string ChapterStore::storedName(std::size_t index) const {
    return std::string(reinterpret_cast<const char*>(recordAt(index) + fmt::kNameOffset), slots_[index].nameLength);
}

std::string ChapterStore::nameOf(std::size_t index) const {
    if (!slots_[index].nameFromValue) return storedName(index);
    auto torn = tornNames_.find(index);
    return torn == tornNames_.end() ? std::string() : torn->second;
}

int ChapterStore::fieldOf(std::string_view gbkFieldName) const {
    static const std::string_view content = contentFieldName(), name = nameFieldName();
    if (gbkFieldName == name) return 1;
    if (gbkFieldName == content) return 0;
    return -1;
}

void ChapterStore::GoFirst() { cursor_ = 0; }

bool ChapterStore::IsPastEnd() const { return !onRecord(); }

bool ChapterStore::IsDeleted() const { return onRecord() && (fmt::load32(recordAt(cursor_)) & fmt::kDeletedBit) != 0; }

int ChapterStore::RecordNumber() const { return onRecord() ? static_cast<int>(cursor_) + 1 : 0; }

void ChapterStore::Skip(int count) {
    long long to = static_cast<long long>(cursor_) + count;
    cursor_ = static_cast<std::size_t>(std::clamp<long long>(to, 0, static_cast<long long>(slots_.size())));
}

std::string ChapterStore::ReadField(std::string_view gbkFieldName) const {
    lastReadDamaged_ = false;
    if (!onRecord()) return {};
    try {
        switch (fieldOf(gbkFieldName)) {
        case 1: return nameOf(cursor_);
        case 0: {
            std::string content;
            if (loadContent(cursor_, content)) return content;
            lastReadDamaged_ = true;
            return {};
        }
        default: return {};
        }
    } catch (const std::exception&) {
        lastReadDamaged_ = true;
        return {};
    }
}

bool ChapterStore::readStream(const std::vector<Extent>& extents, std::uint64_t offset, char* out,
                              std::size_t size) const {
    std::uint64_t start = 0;
    for (const Extent& e : extents) {
        const std::uint64_t length = std::uint64_t{e.count} * fmt::kBlockSize;
        if (size == 0) break;
        if (offset < start + length) {
            std::uint64_t within = offset - start;
            std::size_t piece = static_cast<std::size_t>(std::min<std::uint64_t>(size, length - within));
            if (!data_.readAt(std::uint64_t{e.first} * fmt::kBlockSize + within, out, piece)) return false;
            out += piece;
            offset += piece;
            size -= piece;
        }
        start += length;
    }
    return size == 0;
}

ChapterStore::Value ChapterStore::readValue(std::uint32_t ref, bool wantContent) const {
    Value v;
    if (ref == 0 || ref >= dataBlocks_) return v;
    unsigned char block[fmt::kBlockSize];
    if (!data_.readAt(std::uint64_t{ref} * fmt::kBlockSize, block, sizeof block)) {
        v.ioError = true;
        return v;
    }
    return parseValue(ref, block, wantContent);
}

ChapterStore::Value ChapterStore::parseValue(std::uint32_t ref, const unsigned char* block, bool wantContent) const {
    Value v;
    if (ref == 0 || ref >= dataBlocks_) return v;
    if (std::memcmp(block, fmt::kValueTag, 4) != 0) return v;
    const std::uint32_t headerSize = fmt::load32(block + 4);
    const std::uint64_t length = fmt::load64(block + 8);
    const std::uint16_t nameLength = fmt::load16(block + 24);
    const std::uint16_t extentCount = fmt::load16(block + 26);
    if (extentCount < 1 || extentCount > fmt::kMaxExtents || nameLength > fmt::kNameSize ||
        headerSize != fmt::valueHeaderSize(extentCount, nameLength) || length > fmt::kMaxContentLength)
        return v;

    std::vector<Extent> extents(extentCount);
    std::uint64_t total = 0;
    for (std::size_t i = 0; i < extentCount; ++i) {
        Extent& e = extents[i];
        e.first = fmt::load32(block + fmt::kValueFixedSize + 8 * i);
        e.count = fmt::load32(block + fmt::kValueFixedSize + 8 * i + 4);
        if (e.first == 0 || e.count == 0 || std::uint64_t{e.first} + e.count > dataBlocks_) return v;
        total += e.count;
    }
    if (extents[0].first != ref || total != fmt::blocksFor(headerSize + length)) return v;
    std::vector<Extent> sorted = extents;
    std::sort(sorted.begin(), sorted.end(), [](const Extent& a, const Extent& b) { return a.first < b.first; });
    for (std::size_t i = 1; i < sorted.size(); ++i)
        if (std::uint64_t{sorted[i - 1].first} + sorted[i - 1].count > sorted[i].first) return v;

    std::string header(headerSize, '\0');
    std::memcpy(header.data(), block, std::min<std::size_t>(headerSize, fmt::kBlockSize));
    if (headerSize > fmt::kBlockSize && !readStream(extents, fmt::kBlockSize, header.data() + fmt::kBlockSize,
                                                    headerSize - fmt::kBlockSize)) {
        v.ioError = true;
        return v;
    }
    const auto* h = reinterpret_cast<const unsigned char*>(header.data());
    if (kChecksCount && fmt::load32(h + 32) != fmt::valueHeaderCheck(h, header.size())) return v;

    v.header.contentLength = length;
    v.header.contentHash = fmt::load64(h + 16);
    v.header.flags = fmt::load32(h + 28);
    v.header.extents = std::move(extents);
    v.header.name = header.substr(headerSize - nameLength);
    v.headerOk = true;
    if (!wantContent) return v;
    v.content.resize(length);
    if (!readStream(v.header.extents, headerSize, v.content.data(), length)) {
        v.ioError = true;
        return v;
    }
    v.contentOk = !kChecksCount || fmt::contentHash(v.content) == v.header.contentHash;
    return v;
}

bool ChapterStore::loadContent(std::size_t index, std::string& content) const {
    if (cachedIndex_ == index) {
        content = cachedContent_;
        return true;
    }
    const std::uint32_t ref = refOf(index);
    if (ref == 0) {
        content.clear();
        return true;
    }
    Value v = readValue(ref, true);
    Slot& slot = slots_[index];
    if (!v.headerOk || !v.contentOk) {
        if (!v.ioError) slot.damaged = true;
        return false;
    }
    slot.known = true;
    slot.damaged = false;
    slot.length = v.header.contentLength;
    slot.hash = v.header.contentHash;
    cachedIndex_ = index;
    cachedContent_ = v.content;
    content = std::move(v.content);
    return true;
}

bool ChapterStore::contentEquals(std::size_t index, std::string_view content, std::uint64_t hash) const {
    const Slot& slot = slots_[index];
    // A damaged value is rewritten even with the text it should have held.
    if (slot.damaged) return false;
    if (cachedIndex_ == index) return cachedContent_ == content;
    if (!slot.known) {
        std::string stored;
        return loadContent(index, stored) && stored == content;
    }
    return slot.length == content.size() && slot.hash == hash;
}

// ---------------------------------------------------------------------------------------------
// Blocks of the companion file

bool ChapterStore::ensureBlockMap() {
    if (mapBuilt_) return true;
    claims_.assign(dataBlocks_, 0);
    if (!claims_.empty()) claims_[0] = 0xFF;
    usedBlocks_ = 0;
    free_.clear();
    // Value headers in file order, neighbours read together: one read per stretch of up to 64 KiB.
    std::vector<std::size_t> order(slots_.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return refOf(a) < refOf(b); });
    constexpr std::uint64_t kWindowBlocks = 128;
    std::vector<unsigned char> window;
    std::uint64_t windowFirst = 0, windowBlocks = 0;
    for (std::size_t k = 0; k < order.size(); ++k) {
        const std::size_t i = order[k];
        Slot& slot = slots_[i];
        slot.extents.clear();
        slot.unreadable = false;
        const std::uint32_t ref = refOf(i);
        if (ref == 0) continue;
        Value v;
        if (ref < dataBlocks_) {
            if (ref < windowFirst || ref >= windowFirst + windowBlocks) {
                std::uint64_t last = ref;
                for (std::size_t n = k + 1; n < order.size() && refOf(order[n]) < ref + kWindowBlocks; ++n)
                    last = refOf(order[n]);
                windowFirst = ref;
                windowBlocks = std::min<std::uint64_t>(last + 1, dataBlocks_) - ref;
                window.resize(windowBlocks * fmt::kBlockSize);
                if (!data_.readAt(windowFirst * fmt::kBlockSize, window.data(), window.size())) return false;
            }
            v = parseValue(ref, window.data() + (ref - windowFirst) * fmt::kBlockSize, false);
        }
        // Handing out blocks of a value we merely failed to read would destroy it.
        if (v.ioError) return false;
        if (v.headerOk) {
            slot.extents = std::move(v.header.extents);
            slot.storedLength = v.header.contentLength;
        } else {
            slot.unreadable = true;
            if (ref < dataBlocks_) slot.extents = {Extent{ref, 1}};
        }
        claim(slot.extents);
    }
    for (std::uint64_t b = 1; b < dataBlocks_;) {
        if (claims_[b] != 0) {
            ++b;
            continue;
        }
        std::uint64_t e = b;
        while (e < dataBlocks_ && claims_[e] == 0) ++e;
        free_.emplace_back(static_cast<std::uint32_t>(b), static_cast<std::uint32_t>(e - b));
        b = e;
    }
    mapBuilt_ = true;
    return true;
}

void ChapterStore::claim(const std::vector<Extent>& extents) {
    for (const Extent& e : extents)
        for (std::uint64_t b = e.first; b < std::uint64_t{e.first} + e.count; ++b) {
            if (claims_[b] == 0) ++usedBlocks_;
            // Saturated blocks are never handed out again: a hostile file may let many values share one.
            if (claims_[b] != 0xFF) ++claims_[b];
        }
}

void ChapterStore::release(const std::vector<Extent>& extents) {
    auto addFree = [&](std::uint32_t first, std::uint32_t count) {
        auto it = std::lower_bound(free_.begin(), free_.end(), std::make_pair(first, std::uint32_t{0}));
        if (it != free_.begin()) {
            auto prev = std::prev(it);
            if (prev->first + prev->second == first) {
                prev->second += count;
                if (it != free_.end() && prev->first + prev->second == it->first) {
                    prev->second += it->second;
                    free_.erase(it);
                }
                return;
            }
        }
        if (it != free_.end() && first + count == it->first) {
            it->first = first;
            it->second += count;
            return;
        }
        free_.insert(it, {first, count});
    };
    for (const Extent& e : extents) {
        std::uint32_t runStart = 0, runLength = 0;
        for (std::uint32_t b = e.first; b < e.first + e.count; ++b) {
            bool freed = false;
            if (claims_[b] != 0xFF && claims_[b] != 0) freed = --claims_[b] == 0;
            if (freed) {
                --usedBlocks_;
                if (runLength == 0) runStart = b;
                ++runLength;
            } else if (runLength != 0) {
                addFree(runStart, runLength);
                runLength = 0;
            }
        }
        if (runLength != 0) addFree(runStart, runLength);
    }
}

void ChapterStore::removeFree(std::uint32_t first, std::uint32_t count) {
    auto it = std::upper_bound(free_.begin(), free_.end(), std::make_pair(first, UINT32_MAX));
    --it;  // the run holding first
    const std::uint32_t runFirst = it->first, runEnd = it->first + it->second;
    if (runFirst == first && runEnd == first + count) {
        free_.erase(it);
    } else if (runFirst == first) {
        *it = {first + count, runEnd - first - count};
    } else if (runEnd == first + count) {
        it->second = first - runFirst;
    } else {
        it->second = first - runFirst;
        free_.insert(std::next(it), {first + count, runEnd - first - count});
    }
}

std::vector<Extent> ChapterStore::allocate(std::size_t nameLength, std::uint64_t contentLength,
                                           std::uint64_t replacedBlocks) {
    auto need = [&](std::size_t extents) {
        return fmt::blocksFor(fmt::valueHeaderSize(extents, nameLength) + contentLength);
    };
    const std::uint64_t fileEnd = dataBlocks_;
    const bool freeTail = !free_.empty() && std::uint64_t{free_.back().first} + free_.back().second == fileEnd;
    const std::uint64_t tailFirst = freeTail ? free_.back().first : fileEnd;
    std::vector<Extent> plan;
    // The lowest free run that holds it whole, so values sink to the front and the tail can be given back.
    for (const auto& [first, count] : free_)
        if (count >= need(1)) {
            plan = {Extent{first, static_cast<std::uint32_t>(need(1))}};
            break;
        }
    // Else in one piece at the end, as long as the file stays within twice the live data.
    const std::uint64_t usedAfter = usedBlocks_ - std::min(usedBlocks_, replacedBlocks) + need(1);
    if (plan.empty() && tailFirst + need(1) <= 1 + 2 * usedAfter + slots_.size()) {
        if (tailFirst + need(1) > fmt::kMaxDataBlocks) return {};
        plan = {Extent{static_cast<std::uint32_t>(tailFirst), static_cast<std::uint32_t>(need(1))}};
    }
    if (plan.empty()) {
        // Else spread over free runs in address order, and the end of the file for the rest.
        std::uint64_t have = 0;
        bool complete = false;
        const std::size_t interior = free_.size() - (freeTail ? 1 : 0);
        for (std::size_t r = 0; r < interior && plan.size() + 1 < fmt::kMaxExtents; ++r) {
            const auto [first, count] = free_[r];
            const std::uint64_t target = need(plan.size() + 1);
            if (have + count >= target) {
                plan.push_back({first, static_cast<std::uint32_t>(target - have)});
                complete = true;
                break;
            }
            plan.push_back({first, count});
            have += count;
        }
        if (!complete) {
            const std::uint64_t rest = need(plan.size() + 1) - have;
            if (tailFirst + rest > fmt::kMaxDataBlocks) return {};
            plan.push_back({static_cast<std::uint32_t>(tailFirst), static_cast<std::uint32_t>(rest)});
        }
    }
    for (const Extent& e : plan) {
        const std::uint64_t inFile = std::min<std::uint64_t>(e.count, fileEnd > e.first ? fileEnd - e.first : 0);
        if (inFile > 0) removeFree(e.first, static_cast<std::uint32_t>(inFile));
    }
    dataBlocks_ = std::max(fileEnd, endOf(plan));
    claims_.resize(dataBlocks_, 0);
    claim(plan);
    return plan;
}

std::vector<Extent> ChapterStore::allocateBelow(std::uint64_t blocks, std::uint64_t limit) {
    for (const auto& [first, count] : free_) {
        if (std::uint64_t{first} + blocks > limit) break;
        if (count >= blocks) return take(first, blocks);
    }
    return {};
}

std::vector<Extent> ChapterStore::take(std::uint64_t first, std::uint64_t blocks) {
    const std::uint64_t fileEnd = dataBlocks_;
    const std::uint64_t inFile = std::min<std::uint64_t>(blocks, fileEnd > first ? fileEnd - first : 0);
    if (first + blocks > fmt::kMaxDataBlocks) return {};
    if (inFile > 0) removeFree(static_cast<std::uint32_t>(first), static_cast<std::uint32_t>(inFile));
    std::vector<Extent> plan{Extent{static_cast<std::uint32_t>(first), static_cast<std::uint32_t>(blocks)}};
    dataBlocks_ = std::max(fileEnd, first + blocks);
    claims_.resize(dataBlocks_, 0);
    claim(plan);
    return plan;
}

bool ChapterStore::writeStream(const std::vector<Extent>& extents, std::string_view header, std::string_view content) {
    // Whole blocks, zero-padded: no earlier text survives in the slack of the last one.
    static const char zeros[fmt::kBlockSize] = {};
    const std::uint64_t total = blockCount(extents) * fmt::kBlockSize;
    const std::string_view stream[] = {header, content,
                                       std::string_view(zeros, total - header.size() - content.size())};
    std::uint64_t at = 0;
    for (const Extent& e : extents) {
        const std::uint64_t end = at + std::uint64_t{e.count} * fmt::kBlockSize;
        std::string_view pieces[3];
        std::size_t n = 0;
        std::uint64_t pieceStart = 0;
        for (std::string_view piece : stream) {
            const std::uint64_t from = std::max(at, pieceStart), to = std::min(end, pieceStart + piece.size());
            if (from < to) pieces[n++] = piece.substr(from - pieceStart, to - from);
            pieceStart += piece.size();
        }
        if (!data_.writeAt(std::uint64_t{e.first} * fmt::kBlockSize, std::span<const std::string_view>(pieces, n)))
            return false;
        at = end;
    }
    return true;
}

bool ChapterStore::writeRecord(std::size_t index, std::uint32_t ref, std::string_view name) {
    const std::uint32_t deleted = fmt::load32(recordAt(index)) & fmt::kDeletedBit;
    unsigned char record[fmt::kRecordSize] = {};
    fmt::store32(record + fmt::kRefOffset, ref);
    std::memcpy(record + fmt::kNameOffset, name.data(), std::min(name.size(), fmt::kNameSize));
    fmt::store32(record, fmt::recordCheck(ref, record + fmt::kNameOffset) | deleted);
    // One call, header word and reference first: a crash leaves either the old reference with the
    // old name, or the new reference, whose value holds the new name.
    if (!main_.writeAt(recordOffset(index), record, sizeof record)) return false;
    std::memcpy(recordAt(index), record, sizeof record);
    slots_[index].nameLength = static_cast<std::uint16_t>(std::min(name.size(), fmt::kNameSize));
    return true;
}

void ChapterStore::noteBlockCount() {
    if (noteBlocks_ == dataBlocks_) return;
    const auto blocks = static_cast<std::uint32_t>(dataBlocks_);
    if (data_.writeAt(fmt::kBlockCountOffset, &blocks, sizeof blocks)) noteBlocks_ = blocks;
}

bool ChapterStore::cutFreeTail() {
    if (free_.empty() || std::uint64_t{free_.back().first} + free_.back().second != dataBlocks_) return false;
    const std::uint32_t end = free_.back().first;
    if (!data_.truncate(std::uint64_t{end} * fmt::kBlockSize)) return false;
    dataBlocks_ = end;
    claims_.resize(end);
    free_.pop_back();
    noteBlockCount();
    return true;
}

// The companion file stays within twice the live data plus a block per record: past that, the free
// tail is cut, and a value standing in the way is first moved down into free space.
void ChapterStore::keepWithinBound() {
    // A chapter bouncing between two places stays well inside the bound, so this rarely does anything.
    for (int moves = 0; dataBlocks_ > 1 + 2 * usedBlocks_ + slots_.size();) {
        if (cutFreeTail()) continue;
        if (moves++ == 4) return;
        std::size_t top = SIZE_MAX;
        std::uint64_t topEnd = 0;
        for (std::size_t i = 0; i < slots_.size(); ++i)
            if (!slots_[i].unreadable && endOf(slots_[i].extents) > topEnd) {
                topEnd = endOf(slots_[i].extents);
                top = i;
            }
        if (top == SIZE_MAX) return;
        if (moveValue(top, [&](std::uint64_t blocks) { return allocateBelow(blocks, topEnd - 1); }) != Move::Moved)
            return;
    }
}

// ---------------------------------------------------------------------------------------------
// Changing records

bool ChapterStore::writeValue(std::size_t index, std::string_view name, std::string_view content,
                              std::uint64_t hash, std::uint32_t flags) {
    if (!ensureBlockMap()) return false;
    Slot& slot = slots_[index];
    std::vector<Extent> extents = allocate(name.size(), content.size(), blockCount(slot.extents));
    if (extents.empty()) return false;
    fmt::ValueHeader header{content.size(), hash, flags, extents, std::string(name)};
    if (!writeStream(extents, fmt::encodeValueHeader(header), content)) {
        release(extents);
        return false;
    }
    noteBlockCount();
    const std::uint32_t ref = extents[0].first;
    bool committed = writeRecord(index, ref, name);
    if (!committed) {
        // The record may or may not have reached the file: believe the file.
        unsigned char record[fmt::kRecordSize];
        if (!main_.readAt(recordOffset(index), record, sizeof record)) {
            cachedIndex_ = SIZE_MAX;
            return false;  // both values stay held until the next Open
        }
        std::memcpy(recordAt(index), record, sizeof record);
        recoverRecord(index);
        if (refOf(index) != ref) {
            release(extents);
            return false;
        }
    }
    release(slot.extents);
    slot.extents = std::move(extents);
    slot.storedLength = content.size();
    slot.unreadable = false;
    if (committed) {
        slot.nameFromValue = false;
        tornNames_.erase(index);
    }
    slot.known = true;
    slot.damaged = false;
    slot.length = content.size();
    slot.hash = hash;
    // Later saves of this record compare by length and hash: no copy of every saved text is kept.
    if (cachedIndex_ == index) cachedIndex_ = SIZE_MAX;
    keepWithinBound();
    return committed;
}

bool ChapterStore::ModifyCurrent(std::initializer_list<std::pair<std::string_view, std::string_view>> fieldValues) {
    if (!onRecord()) return false;
    try {
        const std::size_t index = cursor_;
        std::optional<std::string_view> content;
        std::optional<std::string> name;
        for (const auto& [field, value] : fieldValues) {
            switch (fieldOf(field)) {
            case 0: content = value; break;
            case 1: name = normalName(value); break;
            default: return false;
            }
        }
        const std::string currentName = nameOf(index);
        const std::string& newName = name ? *name : currentName;
        const bool sameName = newName == currentName;
        std::string carried;
        std::string_view newContent;
        std::uint64_t hash = 0;
        if (content) {
            hash = fmt::contentHash(*content);
            if (sameName && contentEquals(index, *content, hash)) return true;
            newContent = *content;
        } else {
            if (sameName) return true;
            // A damaged text is not carried over under a new name.
            if (!loadContent(index, carried)) return false;
            newContent = carried;
            hash = fmt::contentHash(newContent);
        }
        return writeValue(index, newName, newContent, hash, 0);
    } catch (const std::exception&) {
        return false;
    }
}

bool ChapterStore::AppendBlank() {
    if (!open_) return false;
    try {
        const std::size_t index = slots_.size();
        if (index >= fmt::kMaxRecords) return false;
        unsigned char record[fmt::kRecordSize] = {};
        fmt::store32(record, fmt::recordCheck(0, record + fmt::kNameOffset));
        // The record first, then the count that makes it part of the store.
        if (!main_.writeAt(recordOffset(index), record, sizeof record)) return false;
        const auto count = static_cast<std::uint32_t>(index + 1);
        if (!main_.writeAt(fmt::kRecordCountOffset, &count, sizeof count)) return false;
        image_.insert(image_.end(), record, record + sizeof record);
        fmt::store32(image_.data() + fmt::kRecordCountOffset, count);
        Slot slot;
        slot.known = true;
        slot.hash = fmt::contentHash({});
        slots_.push_back(std::move(slot));
        cursor_ = index;
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

bool ChapterStore::DeleteCurrent() {
    if (!onRecord()) return false;
    std::uint32_t word = fmt::load32(recordAt(cursor_));
    if (word & fmt::kDeletedBit) return true;
    word |= fmt::kDeletedBit;
    // Four aligned bytes: the mark is there or it is not.
    if (!main_.writeAt(recordOffset(cursor_), &word, sizeof word)) return false;
    fmt::store32(recordAt(cursor_), word);
    return true;
}

// ---------------------------------------------------------------------------------------------
// Compacting

bool ChapterStore::dropMarked() {
    std::vector<std::size_t> live;
    for (std::size_t i = 0; i < slots_.size(); ++i)
        if (!(fmt::load32(recordAt(i)) & fmt::kDeletedBit)) live.push_back(i);
    if (live.size() == slots_.size()) return true;

    Bytes image(recordOffset(live.size()), 0);
    std::memcpy(image.data(), image_.data(), fmt::kRecordsOffset);
    fmt::store32(image.data() + fmt::kRecordCountOffset, static_cast<std::uint32_t>(live.size()));
    for (std::size_t k = 0; k < live.size(); ++k) {
        const std::string name = nameOf(live[k]);
        const std::uint32_t ref = refOf(live[k]);
        unsigned char* record = image.data() + recordOffset(k);
        fmt::store32(record + fmt::kRefOffset, ref);
        std::memcpy(record + fmt::kNameOffset, name.data(), name.size());
        fmt::store32(record, fmt::recordCheck(ref, record + fmt::kNameOffset));
    }

    // A whole new main file beside the old one, then one rename: the marked records go all at once.
    std::filesystem::path tempPath = mainPath_;
    tempPath += ".new";
    StoreFile temp;
    bool done = temp.createEmpty(tempPath) == FileStatus::Ok && temp.writeAt(0, image.data(), image.size()) &&
                temp.sync() && StoreFile::replace(main_, mainPath_, temp, tempPath);
    if (!done) {
        temp.close();
        std::error_code ec;
        std::filesystem::remove(tempPath, ec);
        if (!main_.isOpen()) open_ = false;
        return false;
    }

    std::vector<Slot> slots;
    slots.reserve(live.size());
    std::size_t k = 0;
    for (std::size_t i = 0; i < slots_.size(); ++i) {
        if (k < live.size() && live[k] == i) {
            Slot slot = std::move(slots_[i]);
            slot.nameLength = static_cast<std::uint16_t>(
                strnlen(reinterpret_cast<const char*>(image.data() + recordOffset(k) + fmt::kNameOffset), fmt::kNameSize));
            slot.nameFromValue = false;
            slots.push_back(std::move(slot));
            ++k;
        } else {
            release(slots_[i].extents);
        }
    }
    slots_ = std::move(slots);
    tornNames_.clear();
    image_ = std::move(image);
    cachedIndex_ = SIZE_MAX;
    return true;
}

ChapterStore::Move ChapterStore::moveValue(std::size_t index, const Placer& place) {
    Slot& slot = slots_[index];
    const std::string name = nameOf(index);
    // Placed before it is read: most values asked to move have nowhere to go.
    std::vector<Extent> extents = place(fmt::blocksFor(fmt::valueHeaderSize(1, name.size()) + slot.storedLength));
    if (extents.empty()) return Move::Stayed;
    Value v = readValue(refOf(index), true);
    if (!v.headerOk || v.header.contentLength != slot.storedLength) {
        release(extents);
        return v.ioError ? Move::Failed : Move::Stayed;
    }
    // The stored hash travels with the bytes, so a damaged text stays visibly damaged.
    fmt::ValueHeader header{v.header.contentLength, v.header.contentHash, v.header.flags, extents, name};
    if (!writeStream(extents, fmt::encodeValueHeader(header), v.content)) {
        release(extents);
        return Move::Failed;
    }
    noteBlockCount();
    const std::uint32_t ref = extents[0].first;
    if (!writeRecord(index, ref, name)) {
        unsigned char record[fmt::kRecordSize];
        if (main_.readAt(recordOffset(index), record, sizeof record)) {
            std::memcpy(recordAt(index), record, sizeof record);
            recoverRecord(index);
            if (refOf(index) == ref) {
                release(slot.extents);
                slot.extents = std::move(extents);
            } else {
                release(extents);
            }
        }
        return Move::Failed;
    }
    release(slot.extents);
    slot.extents = std::move(extents);
    slot.nameFromValue = false;
    tornNames_.erase(index);
    return Move::Moved;
}

bool ChapterStore::zeroFreeBlocks() {
    static const std::string zeros(64 * fmt::kBlockSize, '\0');
    for (const auto& [first, count] : free_) {
        for (std::uint32_t done = 0; done < count;) {
            const std::uint32_t piece = std::min<std::uint32_t>(count - done, 64);
            if (!data_.writeAt(std::uint64_t{first + done} * fmt::kBlockSize, zeros.data(),
                               std::size_t{piece} * fmt::kBlockSize))
                return false;
            done += piece;
        }
    }
    return true;
}

bool ChapterStore::Compact() {
    if (!open_) return false;
    try {
        cursor_ = slots_.size();
        if (!ensureBlockMap() || !dropMarked()) return false;
        cursor_ = slots_.size();
        auto movable = [&] {
            std::vector<std::size_t> order;
            for (std::size_t i = 0; i < slots_.size(); ++i)
                if (!slots_[i].extents.empty() && !slots_[i].unreadable) order.push_back(i);
            return order;
        };
        // Every move below is an ordinary crash-safe rewrite of one record.
        // First the cheap part: values from the top of the file down into holes below them that take
        // them whole, which is all it takes when deleted chapters and later ones are of a size.
        std::vector<std::size_t> order = movable();
        std::sort(order.begin(), order.end(),
                  [&](std::size_t a, std::size_t b) { return endOf(slots_[a].extents) > endOf(slots_[b].extents); });
        for (std::size_t index : order) {
            auto below = [&](std::uint64_t blocks) { return allocateBelow(blocks, lowestOf(slots_[index].extents)); };
            if (moveValue(index, below) == Move::Failed) return false;
        }
        // Then slide what is left down in address order. A value too big for the gap before it goes to
        // the end of the file for a while; the gap then grows by its size, so few need that.
        order = movable();
        std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
            return lowestOf(slots_[a].extents) < lowestOf(slots_[b].extents);
        });
        std::vector<std::size_t> parked;
        for (std::size_t index : order) {
            if (free_.empty()) break;
            const std::uint64_t low = lowestOf(slots_[index].extents);
            const std::uint64_t gap = free_.front().first, gapLength = free_.front().second;
            if (gap >= low) continue;
            bool park = false;
            auto slide = [&](std::uint64_t blocks) -> std::vector<Extent> {
                if (gapLength >= blocks && gap + blocks <= low) return take(gap, blocks);
                if (gap + gapLength != low) return {};
                park = true;
                const bool freeTail =
                    std::uint64_t{free_.back().first} + free_.back().second == dataBlocks_ && free_.back().first > low;
                return take(freeTail ? free_.back().first : dataBlocks_, blocks);
            };
            const Move move = moveValue(index, slide);
            if (move == Move::Failed) return false;
            if (move == Move::Moved && park) parked.push_back(index);
        }
        for (std::size_t index : parked) {
            auto below = [&](std::uint64_t blocks) { return allocateBelow(blocks, lowestOf(slots_[index].extents)); };
            if (moveValue(index, below) == Move::Failed) return false;
        }
        (void)cutFreeTail();
        // What stays free between values may hold text of deleted chapters or of older saves.
        if (!zeroFreeBlocks()) return false;
        if (auto size = main_.size(); size && *size > image_.size() && !main_.truncate(image_.size())) return false;
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

// ---------------------------------------------------------------------------------------------
// Checking

std::string ChapterStore::checkIntegrity() {
    if (!open_) return "store not open";
    try {
        std::vector<std::uint8_t> owner(dataBlocks_, 0);
        for (std::size_t i = 0; i < slots_.size(); ++i) {
            const std::string where = "record " + std::to_string(i + 1) + ": ";
            const std::uint32_t ref = refOf(i);
            if (ref == 0) continue;
            Value v = readValue(ref, true);
            if (!v.headerOk) return where + "value header unreadable";
            if (!v.contentOk) return where + "content checksum mismatch";
            if (v.header.name != nameOf(i)) return where + "name differs from the value's copy";
            for (const Extent& e : v.header.extents)
                for (std::uint64_t b = e.first; b < std::uint64_t{e.first} + e.count; ++b)
                    if (owner[b]++) return where + "block " + std::to_string(b) + " shared with another value";
        }
        return {};
    } catch (const std::exception& e) {
        return e.what();
    }
}

// ---------------------------------------------------------------------------------------------

bool SeekLiveRecord(ChapterStore& store, int n, rt::Ui& ui) {
    store.GoFirst();
    int live = 0;
    int found = 0;
    while (!store.IsPastEnd()) {
        if (!store.IsDeleted()) ++live;
        // Compared at every record, live or not: n = 0 stops on a marked first record.
        if (live == n) {
            found = store.RecordNumber();
            break;
        }
        store.Skip(1);
    }
    if (found != 0) return true;
    (void)ui.messageBox(rt::gbk(u8"系统数据库指针跳转错误"), rt::gbk(u8"错误"), rt::kMbOkExclamation);
    ui.endProgram(0);
    return false;
}

}  // namespace core
