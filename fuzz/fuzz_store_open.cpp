// Arbitrary bytes as a pair of chapter store files. Input: two bytes (little-endian) giving the main
// file's length, the main file, then the companion file. Open must fail with a reason or give records
// that read without crashing; it must never change either file; a store that opened must take a
// change and a compaction and read the new chapter back after reopening.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "app/core/chapter_store.hpp"
#include "runtime/text.hpp"

namespace {

namespace fs = std::filesystem;

const fs::path& folder() {
    static const fs::path dir = [] {
        std::string pattern = (fs::temp_directory_path() / "penloom-fuzz-store-XXXXXX").string();
        if (!mkdtemp(pattern.data())) std::abort();
        std::atexit([] {
            std::error_code ec;
            fs::remove_all(folder(), ec);
        });
        return fs::path(pattern);
    }();
    return dir;
}

void put(const fs::path& p, const std::uint8_t* data, std::size_t size) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

std::string get(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "store fuzz: %s\n", what);
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const std::string& content = core::contentFieldName();
    const std::string& name = core::nameFieldName();
    const std::size_t mainSize = std::min<std::size_t>(size - 2, data[0] | (std::size_t{data[1]} << 8));
    const std::string mainBytes(reinterpret_cast<const char*>(data + 2), mainSize);
    const std::string dataBytes(reinterpret_cast<const char*>(data + 2 + mainSize), size - 2 - mainSize);
    const fs::path mainPath = folder() / "DATA.EDB", dataPath = folder() / "data.edt";
    std::error_code ec;
    fs::remove(folder() / "DATA.EDB.new", ec);
    put(mainPath, data + 2, mainSize);
    put(dataPath, data + 2 + mainSize, size - 2 - mainSize);

    bool opened = false;
    {
        core::ChapterStore store;
        opened = store.Open(folder() / "data.edb");
        check(opened == (store.openFailure() == core::OpenFailure::None), "failure reason disagrees with Open");
        for (store.GoFirst(); !store.IsPastEnd(); store.Skip(1)) {
            (void)store.IsDeleted();
            (void)store.RecordNumber();
            std::string text = store.ReadField(content);
            check(!store.lastReadDamaged() || text.empty(), "damaged value returned text");
            check(store.ReadField(name).size() <= 512, "name longer than its field");
        }
        if (opened) (void)store.checkIntegrity();
    }
    check(get(mainPath) == mainBytes && get(dataPath) == dataBytes, "Open changed the files");
    if (!opened) return 0;

    const std::string chapter = "fuzz chapter text " + std::to_string(size);
    bool wrote = true;
    {
        core::ChapterStore store;
        check(store.Open(folder() / "data.edb"), "reopen failed");
        store.GoFirst();
        if (!store.IsPastEnd()) {
            (void)store.ModifyCurrent({{content, "first"}, {name, "one"}});
            (void)store.DeleteCurrent();
        }
        wrote = store.AppendBlank() && store.ModifyCurrent({{content, chapter}, {name, "fuzz"}}) && store.Compact();
    }
    core::ChapterStore store;
    check(store.Open(folder() / "data.edb"), "open after compacting failed");
    if (!wrote) return 0;
    std::string lastName, lastText;
    bool lastDamaged = true;
    for (store.GoFirst(); !store.IsPastEnd(); store.Skip(1)) {
        check(!store.IsDeleted(), "marked record survived Compact");
        lastText = store.ReadField(content);
        lastDamaged = store.lastReadDamaged();
        lastName = store.ReadField(name);
    }
    check(lastName == "fuzz" && lastText == chapter && !lastDamaged, "new chapter lost");
    return 0;
}
