// Reads a chapter store as Penloom does and lays it out for a journey to compare byte for byte.
//   store_dump <main file> <out folder>
// Prints one line per stored record, "<number> live|deleted", and writes <out>/<number>.name and
// <out>/<number>.text with the record's name and text as GBK bytes. A text the store reports damaged
// is printed as "<number> damaged". Exit: 0 when the store opened and every value is sound, 1 when it
// did not open, 3 when a record is damaged or the store's own check finds a fault, 2 for bad arguments.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/core/chapter_store.hpp"
#include "runtime/text.hpp"

namespace {

bool writeBytes(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    return static_cast<bool>(out);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) return 2;
    const std::filesystem::path out = argv[2];
    std::error_code ec;
    std::filesystem::create_directories(out, ec);
    core::ChapterStore store;
    if (!store.Open(argv[1])) {
        std::printf("open failed (%d)\n", static_cast<int>(store.openFailure()));
        return 1;
    }
    const std::string nameField = rt::gbk(u8"名称"), textField = rt::gbk(u8"内容");
    int status = 0;
    for (store.GoFirst(); !store.IsPastEnd(); store.Skip(1)) {
        const int n = store.RecordNumber();
        const std::string text = store.ReadField(textField);
        const bool damaged = store.lastReadDamaged();
        std::printf("%d %s\n", n, damaged ? "damaged" : store.IsDeleted() ? "deleted" : "live");
        if (damaged) status = 3;
        const std::string base = std::to_string(n);
        if (!writeBytes(out / (base + ".name"), store.ReadField(nameField)) || !writeBytes(out / (base + ".text"), text)) {
            std::printf("cannot write to the out folder\n");
            return 2;
        }
    }
    if (const std::string problem = store.checkIntegrity(); !problem.empty()) {
        std::printf("integrity: %s\n", problem.c_str());
        status = 3;
    }
    return status;
}
