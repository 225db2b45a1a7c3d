// What one keystroke costs in a long chapter: the character count over the whole text and the next
// periodic save of the changed text (trimmed, into the store), for a 500,000-character chapter.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "app/core/chapter_store.hpp"
#include "app/core/writing_logic.hpp"
#include "bench/summary.hpp"
#include "runtime/files.hpp"
#include "runtime/text.hpp"

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kCharacters = 500'000;

// A chapter as authors write it: paragraphs of Chinese text, each indented by four spaces.
std::string chapter(std::size_t characters) {
    std::string out;
    out.reserve(characters * 2 + characters / 40);
    unsigned x = 12345;
    for (std::size_t i = 0; i < characters; ++i) {
        if (i % 120 == 0) out += i == 0 ? "    " : "\r\n\r\n    ";
        x = x * 1103515245u + 12345u;
        out += static_cast<char>(0xB0 + (x >> 16) % 0x48);
        out += static_cast<char>(0xA1 + (x >> 8) % 0x5E);
    }
    return out;
}

const fs::path& workDir() {
    static const fs::path dir = bench::workFolder("penloom-bench-editor");
    return dir;
}

fs::path installBlank() {
    const fs::path data = workDir() / "小说数据";
    fs::create_directories(data);
    const fs::path payload = fs::path(PENLOOM_SOURCE_DIR) / "installer" / "payload";
    if (!rt::writeFile(data / "DATA.EDB", rt::readFile(payload / "DATA.EDB")) ||
        !rt::writeFile(data / "DATA.edt", rt::readFile(payload / "DATA.edt")))
        std::abort();
    return data / "data.edb";
}

// The author types one character into the chapter; the count runs, then the 100 ms save writes it.
void BM_KeystrokeIn500kChapter(benchmark::State& state) {
    core::ChapterStore store;
    if (!store.Open(installBlank())) std::abort();
    store.GoFirst();
    std::string text = chapter(kCharacters);
    const std::string title = rt::gbk(u8"第一百零八章 长夜");
    if (!store.ModifyCurrent({{core::contentFieldName(), rt::trimLeadingSpaces(text)}, {core::nameFieldName(), title}})) std::abort();
    std::vector<std::size_t> starts;  // where each Chinese character begins
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (static_cast<unsigned char>(text[i]) >= 0x80) starts.push_back(i++);
    }
    const std::string typed = rt::gbk(u8"字");
    std::size_t n = 0;
    for (auto _ : state) {
        // One character somewhere in the text becomes another, as a keystroke changes it.
        const std::size_t at = starts[(n++ * 7919) % starts.size()];
        text[at] = typed[0];
        text[at + 1] = static_cast<char>(0xA1 + n % 0x5E);
        benchmark::DoNotOptimize(core::countCharacters(text));
        if (!store.ModifyCurrent({{core::contentFieldName(), rt::trimLeadingSpaces(text)}, {core::nameFieldName(), title}}))
            state.SkipWithError("save failed");
    }
}

void BM_Count500k(benchmark::State& state) {
    const std::string text = chapter(kCharacters);
    for (auto _ : state) benchmark::DoNotOptimize(core::countCharacters(text));
}

class Collector : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs)
            if (!run.error_occurred)
                seconds[run.benchmark_name()] = run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> seconds;
};

}  // namespace

BENCHMARK(BM_KeystrokeIn500kChapter)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Count500k)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    Collector collector;
    benchmark::RunSpecifiedBenchmarks(&collector);
    auto& s = collector.seconds;
    if (s.count("BM_KeystrokeIn500kChapter/min_time:2.000"))
        bench::reportFigure("editor.keystroke_500k_ms", s["BM_KeystrokeIn500kChapter/min_time:2.000"] * 1e3);
    if (s.count("BM_Count500k")) bench::reportFigure("editor.count_500k_ms", s["BM_Count500k"] * 1e3);
    benchmark::Shutdown();
    std::error_code ec;
    fs::remove_all(workDir(), ec);
    return 0;
}
