#pragma once
// Benchmarks report their headline figures as "name value" lines; `make bench` gathers them.
#include <cstdio>
#include <cstdlib>
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

}  // namespace bench
