#pragma once
// Benchmarks report their headline figures as "name value" lines; `make bench` gathers them.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace bench {

inline void reportFigure(const std::string& name, double value) {
    std::printf("%s %.3f\n", name.c_str(), value);
    if (const char* path = std::getenv("PENLOOM_BENCH_SUMMARY")) {
        if (FILE* f = std::fopen(path, "a")) {
            std::fprintf(f, "%s %.3f\n", name.c_str(), value);
            std::fclose(f);
        }
    }
}

// A fresh folder under the temporary directory, made once per name for the whole run.
inline std::filesystem::path workFolder(const char* name) {
    std::string pattern = (std::filesystem::temp_directory_path() / (std::string(name) + "-XXXXXX")).string();
    if (!mkdtemp(pattern.data())) std::abort();
    return pattern;
}

}  // namespace bench
