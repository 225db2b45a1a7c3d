// The chapter store's Windows file layer: no sharing while the pair is held, the main file replaced
// through its open handle by Compact, and paths outside GBK.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "app/core/chapter_store.hpp"
#include "runtime/text.hpp"

namespace {

namespace fs = std::filesystem;

std::string readBytes(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}
void writeBytes(const fs::path& p, const std::string& bytes) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

class StoreFolder : public ::testing::Test {
protected:
    void SetUp() override {
        // A program folder whose name GBK cannot spell.
        dir_ = fs::temp_directory_path() / (L"penloom 小说数据 \u2713 \u0101 " + std::to_wstring(GetCurrentProcessId()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        const fs::path payload = fs::path(PENLOOM_SOURCE_DIR_W) / L"installer" / L"payload";
        writeBytes(dir_ / L"DATA.EDB", readBytes(payload / L"DATA.EDB"));
        writeBytes(dir_ / L"DATA.edt", readBytes(payload / L"DATA.edt"));
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    // What another program gets when it tries to open the file, even only for reading.
    DWORD otherOpenerError(const fs::path& file) {
        HANDLE h = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) return GetLastError();
        CloseHandle(h);
        return ERROR_SUCCESS;
    }
    fs::path dir_;
};

}  // namespace

TEST_F(StoreFolder, HoldsThePairAgainstOtherOpenersAcrossCompact) {
    core::ChapterStore store;
    ASSERT_TRUE(store.Open(dir_ / L"data.edb"));
    EXPECT_EQ(otherOpenerError(dir_ / L"DATA.EDB"), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(otherOpenerError(dir_ / L"DATA.edt"), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    core::ChapterStore second;
    EXPECT_FALSE(second.Open(dir_ / L"data.edb"));
    EXPECT_EQ(second.openFailure(), core::OpenFailure::Locked);

    ASSERT_TRUE(store.AppendBlank());
    ASSERT_TRUE(store.ModifyCurrent({{core::contentFieldName(), std::string(70'000, 'x')}, {core::nameFieldName(), "two"}}));
    ASSERT_TRUE(store.AppendBlank());
    ASSERT_TRUE(store.ModifyCurrent({{core::contentFieldName(), "third text"}, {core::nameFieldName(), "three"}}));
    store.GoFirst();
    store.Skip(1);
    ASSERT_TRUE(store.DeleteCurrent());
    ASSERT_TRUE(store.Compact());
    // The new main file came in under the old name and is still ours alone.
    EXPECT_EQ(otherOpenerError(dir_ / L"DATA.EDB"), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_FALSE(fs::exists(dir_ / L"DATA.EDB.new"));
    store.GoFirst();
    store.Skip(1);
    ASSERT_TRUE(store.ModifyCurrent({{core::contentFieldName(), "third, again"}, {core::nameFieldName(), "three"}}));
}

TEST_F(StoreFolder, ReopensWhatWasWritten) {
    {
        core::ChapterStore store;
        ASSERT_TRUE(store.Open(dir_ / L"data.edb"));
        store.GoFirst();
        ASSERT_TRUE(store.ModifyCurrent({{core::contentFieldName(), rt::gbk(u8"正文")}, {core::nameFieldName(), rt::gbk(u8"第一章")}}));
        ASSERT_TRUE(store.AppendBlank());
        ASSERT_TRUE(store.ModifyCurrent({{core::contentFieldName(), std::string(5000, 'y')}, {core::nameFieldName(), "B"}}));
        ASSERT_TRUE(store.DeleteCurrent());
        ASSERT_TRUE(store.Compact());
    }
    EXPECT_EQ(otherOpenerError(dir_ / L"DATA.EDB"), static_cast<DWORD>(ERROR_SUCCESS)) << "released when the store went";
    core::ChapterStore store;
    ASSERT_TRUE(store.Open(dir_ / L"DATA.EDB"));
    store.GoFirst();
    EXPECT_EQ(store.ReadField(core::nameFieldName()), rt::gbk(u8"第一章"));
    EXPECT_EQ(store.ReadField(core::contentFieldName()), rt::gbk(u8"正文"));
    store.Skip(1);
    EXPECT_TRUE(store.IsPastEnd());
    EXPECT_EQ(store.checkIntegrity(), "");
}
