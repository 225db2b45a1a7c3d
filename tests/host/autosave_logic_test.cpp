#include <gtest/gtest.h>

#include "app/core/autosave_logic.hpp"

using core::AutoSaveGate;
using core::FileStamp;

TEST(AutoSaveGate, WritesUntilAVersionHasReachedAnUntouchedFile) {
    AutoSaveGate gate;
    const FileStamp stamp{120, 777};
    EXPECT_TRUE(gate.mustWrite(1, std::nullopt)) << "nothing written yet";
    EXPECT_TRUE(gate.mustWrite(1, stamp)) << "a file from an earlier run is not known to hold this text";
    gate.written(1, stamp);
    EXPECT_FALSE(gate.mustWrite(1, stamp));
    struct Case {
        const char* why;
        std::uint64_t version;
        std::optional<FileStamp> file;
    };
    const Case mustWrite[] = {
        {"the editor changed", 2, stamp},
        {"the file was deleted", 1, std::nullopt},
        {"someone truncated the file", 1, FileStamp{0, 777}},
        {"someone rewrote the file with the same size", 1, FileStamp{120, 778}},
    };
    for (const auto& c : mustWrite) EXPECT_TRUE(gate.mustWrite(c.version, c.file)) << c.why;
    gate.forget();
    EXPECT_TRUE(gate.mustWrite(1, stamp)) << "a failed write forgets what was on disk";
}
