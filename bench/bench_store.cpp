// The chapter store's speed promises, measured: a changed save against the same save into SQLite, an
// unchanged save, opening and listing a large store against one read of its main file, and Compact
// against copying the pair.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/core/chapter_store.hpp"
#include "bench/summary.hpp"
#include "runtime/files.hpp"
#include "runtime/text.hpp"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

const fs::path& root() {
    static const fs::path dir = bench::workFolder("penloom-bench-store");
    return dir;
}

// Chinese text as GBK: two bytes a character.
std::string chapter(std::size_t characters, unsigned seed) {
    std::string out(characters * 2, '\0');
    unsigned x = seed * 2654435761u + 1;
    for (std::size_t i = 0; i < characters; ++i) {
        x = x * 1103515245u + 12345u;
        out[2 * i] = static_cast<char>(0xB0 + (x >> 16) % 0x48);
        out[2 * i + 1] = static_cast<char>(0xA1 + (x >> 8) % 0x5E);
    }
    return out;
}

std::string name(int i) { return rt::gbk(u8"第") + std::to_string(i) + rt::gbk(u8"章"); }

fs::path installBlank(const fs::path& dir) {
    fs::create_directories(dir);
    // The installed blank pair, built from its bytes so the bench needs no source tree.
    std::string main(780, '\0'), data(512, '\0');
    const unsigned char head[] = {0x57, 0x45, 0x44, 0x42, 0, 0, 1, 0, 0x92, 0x75, 0xAE, 0xFC, 0x93, 0x52, 0xE4, 0x40, 1};
    std::copy(std::begin(head), std::end(head), main.begin());
    main[20] = 0x21;
    main[24] = 0x08;
    main[25] = 0x02;
    main[112] = 2;
    const std::string content = core::contentFieldName(), title = core::nameFieldName();
    std::copy(content.begin(), content.end(), main.begin() + 116);
    main[136] = 11;
    main[140] = 4;
    std::copy(title.begin(), title.end(), main.begin() + 188);
    main[208] = 10;
    main[212] = 8;
    main[216] = 0;
    main[217] = 2;
    main[260] = 0x1B;
    std::copy(std::begin(head), std::end(head), data.begin());
    data[3] = 'T';
    (void)rt::writeFile(dir / "DATA.EDB", main);
    (void)rt::writeFile(dir / "DATA.edt", data);
    return dir / "data.edb";
}

fs::path buildStore(const fs::path& dir, int chapters, std::size_t characters) {
    fs::path path = installBlank(dir);
    core::ChapterStore store;
    if (!store.Open(path)) std::abort();
    store.GoFirst();
    for (int i = 0; i < chapters; ++i) {
        if (i > 0 && !store.AppendBlank()) std::abort();
        const std::string text = chapter(characters, static_cast<unsigned>(i));
        if (!store.ModifyCurrent({{core::contentFieldName(), text}, {core::nameFieldName(), name(i)}})) std::abort();
    }
    return path;
}

// ---------------------------------------------------------------------------------------------
// Saves

constexpr int kSaveChapters = 50;
constexpr int kSaveTarget = 25;
constexpr std::size_t kSaveCharacters = 20'000;

void BM_StoreChangedSave(benchmark::State& state) {
    const fs::path dir = root() / "save";
    fs::remove_all(dir);
    const fs::path path = buildStore(dir, kSaveChapters, kSaveCharacters);
    core::ChapterStore store;
    if (!store.Open(path)) std::abort();
    store.GoFirst();
    store.Skip(kSaveTarget - 1);
    std::string text = store.ReadField(core::contentFieldName());
    const std::string title = store.ReadField(core::nameFieldName());
    std::size_t i = 0;
    for (auto _ : state) {
        // The author typed: one character differs from the stored text.
        text[(i++ * 7919) % text.size() & ~std::size_t{1}] ^= 1;
        if (!store.ModifyCurrent({{core::contentFieldName(), text}, {core::nameFieldName(), title}})) state.SkipWithError("save failed");
    }
}

void BM_SqliteChangedSave(benchmark::State& state) {
    const fs::path dir = root() / "sqlite";
    fs::remove_all(dir);
    fs::create_directories(dir);
    sqlite3* db = nullptr;
    if (sqlite3_open((dir / "chapters.db").c_str(), &db) != SQLITE_OK) std::abort();
    sqlite3_exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;"
                     "CREATE TABLE chapters(id INTEGER PRIMARY KEY, name TEXT, content BLOB);",
                 nullptr, nullptr, nullptr);
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO chapters(id, name, content) VALUES(?1, ?2, ?3)", -1, &insert, nullptr);
    for (int i = 0; i < kSaveChapters; ++i) {
        const std::string text = chapter(kSaveCharacters, static_cast<unsigned>(i)), title = name(i);
        sqlite3_bind_int(insert, 1, i + 1);
        sqlite3_bind_text(insert, 2, title.data(), static_cast<int>(title.size()), SQLITE_TRANSIENT);
        sqlite3_bind_blob(insert, 3, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
        if (sqlite3_step(insert) != SQLITE_DONE) std::abort();
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    sqlite3_stmt* update = nullptr;
    sqlite3_prepare_v2(db, "UPDATE chapters SET content = ?1, name = ?2 WHERE id = ?3", -1, &update, nullptr);
    std::string text = chapter(kSaveCharacters, kSaveTarget - 1);
    const std::string title = name(kSaveTarget - 1);
    std::size_t i = 0;
    for (auto _ : state) {
        text[(i++ * 7919) % text.size() & ~std::size_t{1}] ^= 1;
        sqlite3_bind_blob(update, 1, text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
        sqlite3_bind_text(update, 2, title.data(), static_cast<int>(title.size()), SQLITE_STATIC);
        sqlite3_bind_int(update, 3, kSaveTarget);
        if (sqlite3_step(update) != SQLITE_DONE) state.SkipWithError("update failed");
        sqlite3_reset(update);
    }
    sqlite3_finalize(update);
    sqlite3_close(db);
}

void unchangedSave(benchmark::State& state, std::size_t characters) {
    const fs::path dir = root() / "unchanged";
    fs::remove_all(dir);
    const fs::path path = buildStore(dir, 3, characters);
    core::ChapterStore store;
    if (!store.Open(path)) std::abort();
    store.GoFirst();
    store.Skip(1);
    const std::string text = store.ReadField(core::contentFieldName()), title = store.ReadField(core::nameFieldName());
    // The editor hands over its own copy of the text on every tick.
    std::string edited = text;
    for (auto _ : state) {
        if (!store.ModifyCurrent({{core::contentFieldName(), edited}, {core::nameFieldName(), title}})) state.SkipWithError("save failed");
        benchmark::DoNotOptimize(edited.data());
    }
}
void BM_StoreUnchangedSave(benchmark::State& state) { unchangedSave(state, kSaveCharacters); }
void BM_StoreUnchangedSave500k(benchmark::State& state) { unchangedSave(state, 500'000); }

// ---------------------------------------------------------------------------------------------
// A large store: opening and listing, compacting

constexpr int kLargeChapters = 5000;
constexpr std::size_t kLargeCharacters = 4000;

const fs::path& largeStore() {
    static const fs::path path = buildStore(root() / "large", kLargeChapters, kLargeCharacters);
    return path;
}

// The same store with every tenth chapter marked deleted.
const fs::path& markedStore() {
    static const fs::path path = [] {
        const fs::path dir = root() / "marked";
        fs::create_directories(dir);
        fs::copy_file(largeStore().parent_path() / "DATA.EDB", dir / "DATA.EDB");
        fs::copy_file(largeStore().parent_path() / "DATA.edt", dir / "DATA.edt");
        core::ChapterStore store;
        if (!store.Open(dir / "data.edb")) std::abort();
        store.GoFirst();
        for (int i = 0; !store.IsPastEnd(); ++i, store.Skip(1))
            if (i % 10 == 5 && !store.DeleteCurrent()) std::abort();
        return dir / "data.edb";
    }();
    return path;
}

void BM_ReadMainFile(benchmark::State& state) {
    const fs::path main = largeStore().parent_path() / "DATA.EDB";
    for (auto _ : state) {
        // Open, size, a fresh buffer (not cleared first), one read, close: as Open itself reads it.
        int fd = ::open(main.c_str(), O_RDONLY);
        const auto size = static_cast<std::size_t>(lseek(fd, 0, SEEK_END));
        std::unique_ptr<char[]> buffer(new char[size]);
        if (pread(fd, buffer.get(), size, 0) != static_cast<ssize_t>(size)) state.SkipWithError("read failed");
        ::close(fd);
        benchmark::DoNotOptimize(buffer.get());
    }
}

void BM_OpenAndList(benchmark::State& state) {
    const fs::path path = largeStore();
    for (auto _ : state) {
        core::ChapterStore store;
        if (!store.Open(path)) state.SkipWithError("open failed");
        std::size_t items = 0;
        for (store.GoFirst(); !store.IsPastEnd(); store.Skip(1)) items += store.ReadField(core::nameFieldName()).size();
        benchmark::DoNotOptimize(items);
    }
}

void copyPair(const fs::path& from, const fs::path& to) {
    fs::create_directories(to);
    fs::copy_file(from / "DATA.EDB", to / "DATA.EDB", fs::copy_options::overwrite_existing);
    fs::copy_file(from / "DATA.edt", to / "DATA.edt", fs::copy_options::overwrite_existing);
}

void BM_CopyPair(benchmark::State& state) {
    const fs::path from = markedStore().parent_path(), to = root() / "copy";
    for (auto _ : state) {
        fs::remove_all(to);
        const auto start = Clock::now();
        copyPair(from, to);
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
    }
}

void BM_Compact(benchmark::State& state) {
    const fs::path from = markedStore().parent_path(), work = root() / "compact";
    for (auto _ : state) {
        fs::remove_all(work);
        copyPair(from, work);
        core::ChapterStore store;
        if (!store.Open(work / "data.edb")) state.SkipWithError("open failed");
        const auto start = Clock::now();
        if (!store.Compact()) state.SkipWithError("compact failed");
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
    }
}

BENCHMARK(BM_StoreChangedSave)->MinTime(1.0);
BENCHMARK(BM_SqliteChangedSave)->MinTime(1.0);
BENCHMARK(BM_StoreUnchangedSave);
BENCHMARK(BM_StoreUnchangedSave500k);
// Medians of several runs: other work on the machine shows up in single runs of these short ones.
BENCHMARK(BM_ReadMainFile)->Unit(benchmark::kMicrosecond)->Repetitions(7)->ReportAggregatesOnly(true);
BENCHMARK(BM_OpenAndList)->Unit(benchmark::kMicrosecond)->Repetitions(7)->ReportAggregatesOnly(true);
BENCHMARK(BM_CopyPair)->UseManualTime()->Iterations(30)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Compact)->UseManualTime()->Iterations(30)->Unit(benchmark::kMillisecond);

// Keeps each benchmark's time per iteration in seconds, for the ratios.
class Collector : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs)
            if (!run.error_occurred)
                seconds[run.benchmark_name()] =
                    run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> seconds;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    Collector collector;
    benchmark::RunSpecifiedBenchmarks(&collector);
    auto& s = collector.seconds;
    auto figure = [&](const char* bench, const char* name, double scale) {
        if (s.count(bench)) bench::reportFigure(name, s[bench] * scale);
    };
    figure("BM_StoreChangedSave/min_time:1.000", "store.changed_save_us", 1e6);
    figure("BM_SqliteChangedSave/min_time:1.000", "sqlite.changed_save_us", 1e6);
    auto ratio = [&](const char* top, const char* bottom, const char* name) {
        if (s.count(top) && s.count(bottom) && s[bottom] > 0) bench::reportFigure(name, s[top] / s[bottom]);
    };
    ratio("BM_StoreChangedSave/min_time:1.000", "BM_SqliteChangedSave/min_time:1.000", "store.save_vs_sqlite");
    figure("BM_StoreUnchangedSave", "store.unchanged_save_us", 1e6);
    figure("BM_StoreUnchangedSave500k", "store.unchanged_save_500k_chars_us", 1e6);
    figure("BM_ReadMainFile/repeats:7_median", "store.read_main_5000_ms", 1e3);
    figure("BM_OpenAndList/repeats:7_median", "store.open_list_5000_ms", 1e3);
    ratio("BM_OpenAndList/repeats:7_median", "BM_ReadMainFile/repeats:7_median", "store.open_list_vs_read");
    figure("BM_CopyPair/iterations:30/manual_time", "store.copy_pair_ms", 1e3);
    figure("BM_Compact/iterations:30/manual_time", "store.compact_ms", 1e3);
    ratio("BM_Compact/iterations:30/manual_time", "BM_CopyPair/iterations:30/manual_time", "store.compact_vs_copy");
    benchmark::Shutdown();
    std::error_code ec;
    fs::remove_all(root(), ec);
    return 0;
}
