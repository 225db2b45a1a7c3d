#pragma once
// Shared by the chapter store tests: temporary folders, the installed pair, walking a store, a model of it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/core/chapter_store.hpp"
#include "runtime/text.hpp"
#include "runtime/ui.hpp"

namespace store_test {

namespace fs = std::filesystem;

using core::contentFieldName;
using core::nameFieldName;

class TempDir {
public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "penloom-store-XXXXXX").string();
        if (!mkdtemp(pattern.data())) std::abort();
        path_ = pattern;
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const fs::path& path() const { return path_; }
    fs::path operator/(const fs::path& name) const { return path_ / name; }

private:
    fs::path path_;
};

inline std::string readBytes(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}
inline void writeBytes(const fs::path& p, const std::string& bytes) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string shippedMain() {
    return readBytes(fs::path(PENLOOM_SOURCE_DIR) / "installer" / "payload" / "DATA.EDB");
}
inline std::string shippedCompanion() {
    return readBytes(fs::path(PENLOOM_SOURCE_DIR) / "installer" / "payload" / "DATA.edt");
}

// The pair as the installer leaves it; returns the path the application opens.
inline fs::path installShipped(const fs::path& dir, const char* mainName = "DATA.EDB", const char* dataName = "DATA.edt") {
    writeBytes(dir / mainName, shippedMain());
    writeBytes(dir / dataName, shippedCompanion());
    return dir / "data.edb";
}

struct Rec {
    std::string name;
    std::string content;
    bool deleted = false;
    friend bool operator==(const Rec&, const Rec&) = default;
};

inline std::ostream& operator<<(std::ostream& os, const Rec& r) {
    return os << "{name " << r.name.size() << "B '" << r.name.substr(0, 24) << "', content " << r.content.size()
              << "B, " << (r.deleted ? "deleted" : "live") << "}";
}

// Every record, in order, as the chapter list and the editor would see it; a damaged value fails the test.
inline std::vector<Rec> walk(core::ChapterStore& store) {
    std::vector<Rec> out;
    for (store.GoFirst(); !store.IsPastEnd(); store.Skip(1)) {
        Rec r;
        r.deleted = store.IsDeleted();
        r.content = store.ReadField(contentFieldName());
        EXPECT_FALSE(store.lastReadDamaged()) << "record " << store.RecordNumber();
        r.name = store.ReadField(nameFieldName());
        out.push_back(std::move(r));
    }
    return out;
}

inline bool goTo(core::ChapterStore& store, int recordNumber) {
    store.GoFirst();
    store.Skip(recordNumber - 1);
    return store.RecordNumber() == recordNumber;
}

// Text that says which chapter and which save it belongs to, of a length that varies between saves.
inline std::string chapterText(int id, int version, std::size_t length) {
    std::string unit = rt::gbk(u8"第") + std::to_string(id) + rt::gbk(u8"章") + "v" + std::to_string(version) + ";";
    std::string out;
    out.reserve(length + unit.size());
    while (out.size() < length) out += unit;
    return rt::cutAtCharBoundary(out, length);
}

inline std::string chapterName(int id, int version) {
    return rt::gbk(u8"第") + std::to_string(id) + rt::gbk(u8"章 ") + std::to_string(version);
}

class FakeUi : public rt::Ui {
public:
    struct Box {
        std::string text, caption;
        int flags;
    };
    int messageBox(const std::string& text, const std::string& caption, int flags) override {
        boxes.push_back({text, caption, flags});
        return rt::kAnswerOk;
    }
    void endProgram(int exitCode) override { ends.push_back(exitCode); }
    std::vector<Box> boxes;
    std::vector<int> ends;
};

inline std::uint32_t le32(const std::string& bytes, std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(bytes.at(at + i));
    return v;
}
inline void putLe32(std::string& bytes, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes.at(at + i) = static_cast<char>((v >> (8 * i)) & 0xFF);
}

}  // namespace store_test
