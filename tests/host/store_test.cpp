// The chapter store against the installed pair, the cursor rules, round trips, damaged pairs and its
// promises on space, speed and the one-writer rule.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <random>
#include <set>

#include "app/core/store_format.hpp"
#include "tests/host/store_test_support.hpp"

using namespace store_test;
using core::ChapterStore;
using core::OpenFailure;
namespace fmt = core::store_format;

namespace {

// Builds a store from the installed pair holding exactly these records (an empty list leaves none).
fs::path buildStore(const fs::path& dir, const std::vector<Rec>& records) {
    fs::path path = installShipped(dir);
    ChapterStore store;
    EXPECT_TRUE(store.Open(path));
    store.GoFirst();
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (i > 0) EXPECT_TRUE(store.AppendBlank());
        EXPECT_TRUE(store.ModifyCurrent({{contentFieldName(), records[i].content}, {nameFieldName(), records[i].name}}));
        if (records[i].deleted) EXPECT_TRUE(store.DeleteCurrent());
    }
    if (records.empty()) {
        store.GoFirst();
        EXPECT_TRUE(store.DeleteCurrent());
        EXPECT_TRUE(store.Compact());
    }
    return path;
}

std::set<std::string> folderNames(const fs::path& dir) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) names.insert(entry.path().filename().string());
    return names;
}

std::uint64_t valueBlocks(const Rec& r) {
    if (r.content.empty() && r.name.empty()) return 0;
    return fmt::blocksFor(fmt::valueHeaderSize(1, r.name.size()) + r.content.size());
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// The installed pair

TEST(ChapterStoreShipped, OpensOnTheBlankChapterAndWritesNothing) {
    TempDir dir;
    fs::path path = installShipped(dir.path());
    ChapterStore store;
    ASSERT_TRUE(store.Open(path));
    EXPECT_EQ(store.openFailure(), OpenFailure::None);
    store.GoFirst();
    EXPECT_FALSE(store.IsPastEnd());
    EXPECT_FALSE(store.IsDeleted());
    EXPECT_EQ(store.RecordNumber(), 1);
    EXPECT_EQ(store.ReadField(nameFieldName()), "");
    EXPECT_EQ(store.ReadField(contentFieldName()), "");
    EXPECT_FALSE(store.lastReadDamaged());
    store.Skip(1);
    EXPECT_TRUE(store.IsPastEnd());
    EXPECT_EQ(store.RecordNumber(), 0);
    EXPECT_EQ(readBytes(dir / "DATA.EDB"), shippedMain());
    EXPECT_EQ(readBytes(dir / "DATA.edt"), shippedCompanion());
    EXPECT_EQ(folderNames(dir.path()), (std::set<std::string>{"DATA.EDB", "DATA.edt"}));
}

TEST(ChapterStoreShipped, AppendAndModifyKeepTheInstalledBytesOfRecordOneAndTheHeaders) {
    TempDir dir;
    fs::path path = installShipped(dir.path());
    {
        ChapterStore store;
        ASSERT_TRUE(store.Open(path));
        ASSERT_TRUE(store.AppendBlank());
        EXPECT_EQ(store.RecordNumber(), 2);
        ASSERT_TRUE(store.ModifyCurrent({{contentFieldName(), "abc"}, {nameFieldName(), "abc"}}));
    }
    const std::string main = readBytes(dir / "DATA.EDB");
    const std::string data = readBytes(dir / "DATA.edt");
    const std::string shipped = shippedMain();
    ASSERT_EQ(main.size(), 260u + 2 * 520);
    EXPECT_EQ(le32(main, 16), 2u);
    // Magic, version, stamp, the word at 20, the record length and the field table stay as installed.
    EXPECT_EQ(main.substr(0, 16), shipped.substr(0, 16));
    EXPECT_EQ(main.substr(20, 240), shipped.substr(20, 240));
    EXPECT_EQ(main.substr(260, 520), shipped.substr(260, 520));
    EXPECT_EQ(main.substr(780 + 8, 3), "abc");
    EXPECT_EQ(main.substr(780 + 11, 509), std::string(509, '\0'));
    EXPECT_GE(static_cast<std::int32_t>(le32(main, 780)), 0) << "a new record's header word is not negative";
    EXPECT_EQ(data.substr(0, 16), shippedCompanion().substr(0, 16));
    EXPECT_EQ(data.size() % 512, 0u);
    EXPECT_EQ(le32(data, 16), data.size() / 512) << "block count noted in block 0";

    ChapterStore store;
    ASSERT_TRUE(store.Open(path));
    EXPECT_EQ(walk(store), (std::vector<Rec>{{"", "", false}, {"abc", "abc", false}}));
}

TEST(ChapterStoreShipped, FileNamesMatchWhateverTheirLetterCase) {
    struct Case {
        const char* main;
        const char* data;
    };
    for (Case c : {Case{"DATA.EDB", "DATA.edt"}, Case{"data.edb", "data.edt"}, Case{"Data.Edb", "dAtA.EdT"}}) {
        SCOPED_TRACE(c.main);
        TempDir dir;
        installShipped(dir.path(), c.main, c.data);
        {
            ChapterStore store;
            ASSERT_TRUE(store.Open(dir / "data.edb"));
            ASSERT_TRUE(store.AppendBlank());
            ASSERT_TRUE(store.ModifyCurrent({{contentFieldName(), "text"}, {nameFieldName(), "two"}}));
            ASSERT_TRUE(store.DeleteCurrent());
            ASSERT_TRUE(store.Compact());  // replaces the main file through a rename
        }
        EXPECT_EQ(folderNames(dir.path()), (std::set<std::string>{c.main, c.data}));
        ChapterStore store;
        ASSERT_TRUE(store.Open(dir / "DATA.EDB"));
        EXPECT_EQ(walk(store), (std::vector<Rec>{{"", "", false}}));
    }
}

// ---------------------------------------------------------------------------------------------
// Cursor and SeekLiveRecord

TEST(SeekLiveRecord, FindsTheNthLiveRecordOrEndsTheProgram) {
    struct Case {
        const char* label;
        std::vector<Rec> records;
        int n;
        int expected;  // record number, 0 for the fatal message
    };
    const std::vector<Rec> shipped{{"", "", false}};
    const std::vector<Rec> aBc{{"A", "a", false}, {"B", "b", true}, {"C", "c", false}};
    const std::vector<Rec> bMarkedFirst{{"A", "a", true}, {"B", "b", false}};
    const Case cases[] = {
        {"shipped, n=1", shipped, 1, 1},
        {"shipped, n=2", shipped, 2, 0},
        {"shipped, n=0", shipped, 0, 0},
        {"A marked-B C, n=1", aBc, 1, 1},
        {"A marked-B C, n=2", aBc, 2, 3},
        {"A marked-B C, n=3", aBc, 3, 0},
        {"A marked-B C, n=0", aBc, 0, 0},
        {"marked first record, n=0", bMarkedFirst, 0, 1},
        {"marked first record, n=1", bMarkedFirst, 1, 2},
        {"empty store, n=0", {}, 0, 0},
        {"empty store, n=1", {}, 1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        TempDir dir;
        fs::path path = buildStore(dir.path(), c.records);
        ChapterStore store;
        ASSERT_TRUE(store.Open(path));
        FakeUi ui;
        const bool found = core::SeekLiveRecord(store, c.n, ui);
        if (c.expected != 0) {
            EXPECT_TRUE(found);
            EXPECT_EQ(store.RecordNumber(), c.expected);
            EXPECT_TRUE(ui.boxes.empty());
            EXPECT_TRUE(ui.ends.empty());
        } else {
            EXPECT_FALSE(found);
            ASSERT_EQ(ui.boxes.size(), 1u);
            EXPECT_EQ(ui.boxes[0].text, rt::gbk(u8"系统数据库指针跳转错误"));
            EXPECT_EQ(ui.boxes[0].caption, rt::gbk(u8"错误"));
            EXPECT_EQ(ui.boxes[0].flags, 48);
            EXPECT_EQ(ui.ends, std::vector<int>{0});
        }
    }
}

TEST(ChapterStoreCursor, ModifyPastTheEndWritesNothing) {
    TempDir dir;
    fs::path path = buildStore(dir.path(), {{"A", "a", false}, {"B", "b", false}});
    const std::string main = readBytes(dir / "DATA.EDB"), data = readBytes(dir / "DATA.edt");
    ChapterStore store;
    ASSERT_TRUE(store.Open(path));
    walk(store);  // building the chapter list leaves the cursor past the end
    ASSERT_TRUE(store.IsPastEnd());
    const auto before = core::store_testing::ioCallCount();
    EXPECT_FALSE(store.ModifyCurrent({{contentFieldName(), "new"}, {nameFieldName(), "new"}}));
    EXPECT_FALSE(store.DeleteCurrent());
    EXPECT_EQ(core::store_testing::ioCallCount(), before);
    EXPECT_EQ(readBytes(dir / "DATA.EDB"), main);
    EXPECT_EQ(readBytes(dir / "DATA.edt"), data);
}

TEST(ChapterStoreCursor, EveryOperationIsSafeOnAStoreThatIsNotOpen) {
    TempDir dir;
    ChapterStore never, failed;
    EXPECT_FALSE(failed.Open(dir / "data.edb"));
    for (ChapterStore* store : {&never, &failed}) {
        store->GoFirst();
        EXPECT_TRUE(store->IsPastEnd());
        EXPECT_FALSE(store->IsDeleted());
        EXPECT_EQ(store->RecordNumber(), 0);
        store->Skip(1);
        store->Skip(-5);
        EXPECT_EQ(store->ReadField(contentFieldName()), "");
        EXPECT_EQ(store->ReadField(nameFieldName()), "");
        EXPECT_FALSE(store->ModifyCurrent({{contentFieldName(), "x"}}));
        EXPECT_FALSE(store->AppendBlank());
        EXPECT_FALSE(store->DeleteCurrent());
        EXPECT_FALSE(store->Compact());
        FakeUi ui;
        EXPECT_FALSE(core::SeekLiveRecord(*store, 1, ui));
        EXPECT_EQ(ui.ends, std::vector<int>{0});
    }
    EXPECT_TRUE(fs::is_empty(dir.path()));
}

TEST(ChapterStoreCursor, SkipStopsAtBothEnds) {
    TempDir dir;
    ChapterStore store;
    ASSERT_TRUE(store.Open(buildStore(dir.path(), {{"A", "", false}, {"B", "", false}, {"C", "", false}})));
    store.GoFirst();
    store.Skip(2);
    EXPECT_EQ(store.RecordNumber(), 3);
    store.Skip(1000);
    EXPECT_TRUE(store.IsPastEnd());
    store.Skip(-1);
    EXPECT_EQ(store.RecordNumber(), 3);
    store.Skip(-1000);
    EXPECT_EQ(store.RecordNumber(), 1);
}

TEST(ChapterStoreCursor, UnknownFieldChangesNothing) {
    TempDir dir;
    ChapterStore store;
    ASSERT_TRUE(store.Open(buildStore(dir.path(), {{"A", "a", false}})));
    store.GoFirst();
    EXPECT_FALSE(store.ModifyCurrent({{nameFieldName(), "B"}, {"no such field", "x"}}));
    EXPECT_EQ(store.ReadField("no such field"), "");
    EXPECT_EQ(walk(store), (std::vector<Rec>{{"A", "a", false}}));
}

// ---------------------------------------------------------------------------------------------
// Round trips

TEST(ChapterStoreRoundTrip, RecordsOfEverySizeSurviveReopeningAndCompacting) {
    const std::string gbkName = rt::gbk(u8"第一章 风起");
    const std::vector<Rec> records = {
        {"", "", false},
        {"a", "x", false},
        {gbkName, chapterText(2, 0, 463), false},  // stream fills one block exactly
        {gbkName + "b", chapterText(3, 0, 464), true},
        {std::string(512, 'n'), chapterText(4, 0, 512), false},
        {"five", chapterText(5, 0, 100'000), false},
        {"six", std::string("\0\x01\xff\0", 4) + chapterText(6, 0, 3000), false},
        {"", chapterText(7, 0, 1), true},
    };
    TempDir dir;
    fs::path path = buildStore(dir.path(), records);
    {
        ChapterStore store;
        ASSERT_TRUE(store.Open(path));
        EXPECT_EQ(walk(store), records);
        EXPECT_EQ(store.checkIntegrity(), "");
        ASSERT_TRUE(store.Compact());
        std::vector<Rec> live;
        for (const Rec& r : records)
            if (!r.deleted) live.push_back(r);
        EXPECT_EQ(walk(store), live);
    }
    ChapterStore store;
    ASSERT_TRUE(store.Open(path));
    std::vector<Rec> live;
    for (const Rec& r : records)
        if (!r.deleted) live.push_back(r);
    EXPECT_EQ(walk(store), live);
    EXPECT_EQ(store.checkIntegrity(), "");
}

TEST(ChapterStoreRoundTrip, NamesAreCutTo512BytesAtACharacterBoundary) {
    const std::string han = rt::gbk(u8"章");
    ASSERT_EQ(han.size(), 2u);
    std::string allHan;
    while (allHan.size() < 600) allHan += han;
    struct Case {
        const char* label;
        std::string name;
        std::string stored;
    };
    const Case cases[] = {
        {"exactly 512 bytes, no NUL", std::string(512, 'x'), std::string(512, 'x')},
        {"two-byte characters only", allHan, allHan.substr(0, 512)},
        {"one odd byte first", "x" + allHan, ("x" + allHan).substr(0, 511)},
        {"ASCII past 512", std::string(700, 'y'), std::string(512, 'y')},
        {"NUL inside", std::string("ab\0cd", 5), "ab"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        TempDir dir;
        fs::path path = installShipped(dir.path());
        {
            ChapterStore store;
            ASSERT_TRUE(store.Open(path));
            store.GoFirst();
            ASSERT_TRUE(store.ModifyCurrent({{contentFieldName(), "t"}, {nameFieldName(), c.name}}));
            EXPECT_EQ(store.ReadField(nameFieldName()), c.stored);
        }
        const std::string main = readBytes(dir / "DATA.EDB");
        EXPECT_EQ(main.substr(268, c.stored.size()), c.stored);
        EXPECT_EQ(main.substr(268 + c.stored.size(), 512 - c.stored.size()), std::string(512 - c.stored.size(), '\0'));
        ChapterStore store;
        ASSERT_TRUE(store.Open(path));
        store.GoFirst();
        EXPECT_EQ(store.ReadField(nameFieldName()), c.stored);
    }
}

TEST(ChapterStoreRoundTrip, ModifyOfOneFieldLeavesTheOther) {
    TempDir dir;
    fs::path path = buildStore(dir.path(), {{"A", "alpha", false}, {"B", "bravo", false}});
    {
        ChapterStore store;
        ASSERT_TRUE(store.Open(path));
        ASSERT_TRUE(goTo(store, 1));
        ASSERT_TRUE(store.ModifyCurrent({{nameFieldName(), "A2"}}));
        ASSERT_TRUE(goTo(store, 2));
        ASSERT_TRUE(store.ModifyCurrent({{contentFieldName(), "bravo2"}}));
    }
    ChapterStore store;
    ASSERT_TRUE(store.Open(path));
    EXPECT_EQ(walk(store), (std::vector<Rec>{{"A2", "alpha", false}, {"B", "bravo2", false}}));
}

// ---------------------------------------------------------------------------------------------
// Compact

TEST(ChapterStoreCompact, RenumbersTheRecordsThatStayAndSetsTheCount) {
    TempDir dir;
    fs::path path = buildStore(dir.path(), {{"A", "alpha", false}, {"B", "bravo", true}, {"C", "charlie", false}});
    {
        ChapterStore store;
        ASSERT_TRUE(store.Open(path));
        FakeUi ui;
        ASSERT_TRUE(core::SeekLiveRecord(store, 2, ui));
        EXPECT_EQ(store.RecordNumber(), 3);
        ASSERT_TRUE(store.Compact());
        EXPECT_TRUE(store.IsPastEnd());
        ASSERT_TRUE(core::SeekLiveRecord(store, 2, ui));
        EXPECT_EQ(store.RecordNumber(), 2);
        EXPECT_EQ(store.ReadField(nameFieldName()), "C");
    }
    const std::string main = readBytes(dir / "DATA.EDB");
    EXPECT_EQ(le32(main, 16), 2u);
    EXPECT_EQ(main.size(), 260u + 2 * 520);
    ChapterStore store;
    ASSERT_TRUE(store.Open(path));
    EXPECT_EQ(walk(store), (std::vector<Rec>{{"A", "alpha", false}, {"C", "charlie", false}}));
}

TEST(ChapterStoreCompact, LeavesNoDeletedOrOldTextInEitherFileAndGivesBackTheTail) {
    TempDir dir;
    fs::path path = installShipped(dir.path());
    const std::string secretText = "BRAVO-SECRET-TEXT ", secretName = "BRAVO-SECRET-NAME";
    auto repeat = [](const std::string& s, int n) {
        std::string out;
        for (int i = 0; i < n; ++i) out += s;
        return out;
    };
    std::vector<Rec> expected;
    {
        ChapterStore store;
        ASSERT_TRUE(store.Open(path));
        store.GoFirst();
        ASSERT_TRUE(store.ModifyCurrent({{contentFieldName(), repeat("ALPHA-OLD ", 300)}, {nameFieldName(), "A"}}));
        ASSERT_TRUE(store.ModifyCurrent({{contentFieldName(), repeat("alpha-new ", 200)}, {nameFieldName(), "A"}}));
        ASSERT_TRUE(store.AppendBlank());
        ASSERT_TRUE(store.ModifyCurrent({{contentFieldName(), repeat(secretText, 500)}, {nameFieldName(), secretName}}));
        ASSERT_TRUE(store.AppendBlank());
        for (int v = 0; v < 20; ++v)
            ASSERT_TRUE(store.ModifyCurrent({{contentFieldName(), chapterText(3, v, 2000 + 700 * v)}, {nameFieldName(), "C"}}));
        ASSERT_TRUE(store.AppendBlank());
        ASSERT_TRUE(store.ModifyCurrent({{contentFieldName(), chapterText(4, 0, 9000)}, {nameFieldName(), "D"}}));
        ASSERT_TRUE(goTo(store, 2));
        ASSERT_TRUE(store.DeleteCurrent());
        ASSERT_TRUE(store.Compact());
        expected = walk(store);
    }
    const std::string main = readBytes(dir / "DATA.EDB"), data = readBytes(dir / "DATA.edt");
    for (const std::string& needle : {secretText, secretName, std::string("ALPHA-OLD"), chapterText(3, 5, 40)}) {
        EXPECT_EQ(main.find(needle), std::string::npos) << needle;
        EXPECT_EQ(data.find(needle), std::string::npos) << needle;
    }
    std::uint64_t live = 0;
    for (const Rec& r : expected) live += valueBlocks(r);
    EXPECT_EQ(data.size(), 512 * (1 + live)) << "no free block left in the companion file";
    EXPECT_EQ(folderNames(dir.path()), (std::set<std::string>{"DATA.EDB", "DATA.edt"}));
    ChapterStore store;
    ASSERT_TRUE(store.Open(path));
    EXPECT_EQ(walk(store), expected);
    EXPECT_EQ(store.checkIntegrity(), "");
}

TEST(ChapterStoreCompact, AllRecordsMarkedLeavesAnEmptyStoreThatStillTakesChapters) {
    TempDir dir;
    fs::path path = buildStore(dir.path(), {{"A", chapterText(1, 0, 5000), true}, {"B", "b", true}});
    {
        ChapterStore store;
        ASSERT_TRUE(store.Open(path));
        ASSERT_TRUE(store.Compact());
        store.GoFirst();
        EXPECT_TRUE(store.IsPastEnd());
    }
    EXPECT_EQ(readBytes(dir / "DATA.EDB").size(), 260u);
    EXPECT_EQ(readBytes(dir / "DATA.edt").size(), 512u);
    {
        ChapterStore store;
        ASSERT_TRUE(store.Open(path));
        ASSERT_TRUE(store.AppendBlank());
        ASSERT_TRUE(store.ModifyCurrent({{contentFieldName(), "again"}, {nameFieldName(), "N"}}));
    }
    ChapterStore store;
    ASSERT_TRUE(store.Open(path));
    EXPECT_EQ(walk(store), (std::vector<Rec>{{"N", "again", false}}));
}

// ---------------------------------------------------------------------------------------------
// Unchanged saves and space

TEST(ChapterStoreSaving, AnUnchangedSaveTouchesNoFile) {
    TempDir dir;
    const std::string big = chapterText(2, 0, 200'000);
    fs::path path = buildStore(dir.path(), {{"A", "a", false}, {"B", big, false}});
    auto mtimes = [&] {
        struct stat a {}, b {};
        stat((dir / "DATA.EDB").c_str(), &a);
        stat((dir / "DATA.edt").c_str(), &b);
        return std::make_pair(a.st_mtim.tv_nsec + a.st_mtim.tv_sec * 1'000'000'000ll,
                              b.st_mtim.tv_nsec + b.st_mtim.tv_sec * 1'000'000'000ll);
    };
    ChapterStore store;
    ASSERT_TRUE(store.Open(path));
    FakeUi ui;
    // The writing window: load the chapter, then save it ten times a second.
    ASSERT_TRUE(core::SeekLiveRecord(store, 2, ui));
    const std::string text = store.ReadField(contentFieldName()), name = store.ReadField(nameFieldName());
    const auto calls = core::store_testing::ioCallCount();
    const auto times = mtimes();
    for (int i = 0; i < 10; ++i) EXPECT_TRUE(store.ModifyCurrent({{contentFieldName(), text}, {nameFieldName(), name}}));
    EXPECT_TRUE(store.ModifyCurrent({{nameFieldName(), name}}));
    EXPECT_EQ(core::store_testing::ioCallCount(), calls);
    EXPECT_EQ(mtimes(), times);

    // Right after a real change, saving the same again is free too.
    const std::string changed = text + "!";
    ASSERT_TRUE(store.ModifyCurrent({{contentFieldName(), changed}, {nameFieldName(), name}}));
    EXPECT_GT(core::store_testing::ioCallCount(), calls);
    const auto after = core::store_testing::ioCallCount();
    EXPECT_TRUE(store.ModifyCurrent({{contentFieldName(), changed}, {nameFieldName(), name}}));
    // Another record was loaded in between: the stored hash still spares the write.
    ASSERT_TRUE(core::SeekLiveRecord(store, 1, ui));
    EXPECT_EQ(store.ReadField(contentFieldName()), "a");
    ASSERT_TRUE(core::SeekLiveRecord(store, 2, ui));
    const auto beforeResave = core::store_testing::ioCallCount();
    EXPECT_TRUE(store.ModifyCurrent({{contentFieldName(), changed}, {nameFieldName(), name}}));
    EXPECT_EQ(core::store_testing::ioCallCount(), beforeResave);
    EXPECT_EQ(beforeResave, after + 2) << "only the two reads of record 1's name and text";
    // A fresh blank record saved blank.
    ASSERT_TRUE(store.AppendBlank());
    const auto blank = core::store_testing::ioCallCount();
    EXPECT_TRUE(store.ModifyCurrent({{contentFieldName(), ""}, {nameFieldName(), ""}}));
    EXPECT_EQ(core::store_testing::ioCallCount(), blank);
}

TEST(ChapterStoreSaving, ManySavesOfAChapterKeepTheCompanionWithinTwiceTheLiveData) {
    struct Case {
        const char* label;
        int saves;
        std::function<std::size_t(int, std::mt19937&)> length;
    };
    const Case cases[] = {
        {"typing a short chapter: grows a little, sometimes cut back", 100'000,
         [](int i, std::mt19937&) { return std::size_t(200 + (i % 1500) * 2 - (i % 97 == 0 ? 150 : 0)); }},
        {"any size up to 40 blocks", 20'000, [](int, std::mt19937& rng) { return std::size_t(rng() % 20'000); }},
        {"one large chapter growing", 300, [](int i, std::mt19937&) { return std::size_t(500'000 + 1700 * i); }},
        {"large chapter cut to nothing and back", 300,
         [](int i, std::mt19937&) { return std::size_t(i % 3 == 0 ? 10 : 400'000 + 1000 * i); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        TempDir dir;
        std::vector<Rec> others = {{"A", chapterText(1, 0, 3000), false},
                                   {"B", chapterText(2, 0, 12000), false},
                                   {"C", chapterText(3, 0, 700), true}};
        fs::path path = buildStore(dir.path(), others);
        ChapterStore store;
        ASSERT_TRUE(store.Open(path));
        ASSERT_TRUE(store.AppendBlank());
        std::mt19937 rng(7);
        const std::string base = chapterText(9, 0, 1'200'000);
        std::uint64_t othersBlocks = 0;
        for (const Rec& r : others) othersBlocks += valueBlocks(r);
        std::uint64_t worst = 0;
        for (int i = 0; i < c.saves; ++i) {
            std::string text = base.substr(0, c.length(i, rng));
            if (!text.empty()) text[text.size() / 2] = static_cast<char>('a' + i % 26);
            ASSERT_TRUE(store.ModifyCurrent({{contentFieldName(), text}, {nameFieldName(), "D"}}));
            const std::uint64_t live = othersBlocks + valueBlocks({"D", text, false});
            const std::uint64_t blocks = fs::file_size(dir / "DATA.edt") / 512;
            // Twice the live data plus a block per record (and block 0).
            const std::uint64_t bound = 1 + 2 * live + 4 + 1;
            worst = std::max(worst, blocks * 1000 / bound);
            if (i % 997 == 0 || i == c.saves - 1) ASSERT_LE(blocks, bound) << "after save " << i;
        }
        RecordProperty(std::string("worst_permille_of_bound_") + std::to_string(&c - cases), static_cast<int>(worst));
        EXPECT_EQ(store.checkIntegrity(), "");
    }
}

// ---------------------------------------------------------------------------------------------
// One writer

TEST(ChapterStoreOneWriter, ASecondOpenerIsRefusedUntilTheFirstLetsGo) {
    TempDir dir;
    fs::path path = installShipped(dir.path());
    auto first = std::make_unique<ChapterStore>();
    ASSERT_TRUE(first->Open(path));
    ChapterStore second;
    EXPECT_FALSE(second.Open(path));
    EXPECT_EQ(second.openFailure(), OpenFailure::Locked);
    EXPECT_EQ(second.failedFile(), dir / "DATA.EDB");

    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ChapterStore other;
        bool opened = other.Open(path);
        _exit(opened ? 100 : static_cast<int>(other.openFailure()));
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), static_cast<int>(OpenFailure::Locked)) << "another process";

    first.reset();
    EXPECT_TRUE(second.Open(path));
}

TEST(ChapterStoreOneWriter, AHeldCompanionFileIsNamedAsTheCulprit) {
    TempDir dir;
    fs::path path = installShipped(dir.path());
    int fd = ::open((dir / "DATA.edt").c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);
    ChapterStore store;
    EXPECT_FALSE(store.Open(path));
    EXPECT_EQ(store.openFailure(), OpenFailure::Locked);
    EXPECT_EQ(store.failedFile(), dir / "DATA.edt");
    ::close(fd);
    // The refused Open let go of the main file again.
    EXPECT_TRUE(store.Open(path));
}

// ---------------------------------------------------------------------------------------------
// Damaged and hostile pairs

namespace {

struct Pair {
    std::string main, data;
};

// Three chapters A, B, C, written by the store itself.
const Pair& basePair() {
    static const Pair pair = [] {
        TempDir dir;
        buildStore(dir.path(), {{"A", chapterText(1, 0, 300), false},
                                {"B", chapterText(2, 0, 2000), false},
                                {"C", chapterText(3, 0, 5000), false}});
        return Pair{readBytes(dir / "DATA.EDB"), readBytes(dir / "DATA.edt")};
    }();
    return pair;
}

std::uint32_t refOf(const Pair& p, int record) { return le32(p.main, 260 + 520 * (record - 1) + 4); }

// Rewrites the value header of a record with a valid check, so only the layout is wrong.
void forgeHeader(Pair& p, int record, const std::function<void(fmt::ValueHeader&)>& change) {
    const std::uint32_t ref = refOf(p, record);
    const std::size_t at = std::size_t{ref} * 512;
    fmt::ValueHeader h;
    h.contentLength = fmt::load64(p.data.data() + at + 8);
    h.contentHash = fmt::load64(p.data.data() + at + 16);
    const std::uint16_t nameLength = fmt::load16(p.data.data() + at + 24);
    const std::uint16_t extents = fmt::load16(p.data.data() + at + 26);
    for (int i = 0; i < extents; ++i)
        h.extents.push_back({le32(p.data, at + 40 + 8 * i), le32(p.data, at + 44 + 8 * i)});
    h.name = p.data.substr(at + 40 + 8 * extents, nameLength);
    change(h);
    const std::string header = fmt::encodeValueHeader(h);
    p.data.replace(at, header.size(), header);
}

void setRecord(Pair& p, int record, std::uint32_t word, std::uint32_t ref, const std::string& name) {
    const std::size_t at = 260 + 520 * (record - 1);
    putLe32(p.main, at, word);
    putLe32(p.main, at + 4, ref);
    std::string field = name;
    field.resize(512, '\0');
    p.main.replace(at + 8, 512, field);
}

struct Expect {
    std::string name;
    bool damaged;
    bool blank = false;  // an empty value where the chapter text was
};

}  // namespace

TEST(ChapterStoreDamaged, EveryPairOpensCleanlyOrFailsClearlyAndIsNeverRewrittenByOpen) {
    const std::vector<Expect> abc = {{"A", false}, {"B", false}, {"C", false}};
    struct Case {
        const char* label;
        std::function<void(Pair&)> damage;
        OpenFailure failure;  // None: opens with `records`
        bool companionBlamed;
        std::vector<Expect> records;
    };
    const Case cases[] = {
        {"main magic", [](Pair& p) { p.main[0] = 'X'; }, OpenFailure::Damaged, false, {}},
        {"main version", [](Pair& p) { p.main[6] = 2; }, OpenFailure::Damaged, false, {}},
        {"companion magic", [](Pair& p) { p.data[3] = 'B'; }, OpenFailure::Damaged, true, {}},
        {"companion version", [](Pair& p) { p.data[5] = 1; }, OpenFailure::Damaged, true, {}},
        {"main shorter than its header", [](Pair& p) { p.main.resize(259); }, OpenFailure::Damaged, false, {}},
        {"empty main file", [](Pair& p) { p.main.clear(); }, OpenFailure::Damaged, false, {}},
        {"companion shorter than a block", [](Pair& p) { p.data.resize(511); }, OpenFailure::Damaged, true, {}},
        {"record length changed", [](Pair& p) { putLe32(p.main, 24, 600); }, OpenFailure::Damaged, false, {}},
        {"field count changed", [](Pair& p) { putLe32(p.main, 112, 3); }, OpenFailure::Damaged, false, {}},
        {"field types swapped",
         [](Pair& p) {
             putLe32(p.main, 136, 10);
             putLe32(p.main, 208, 11);
         },
         OpenFailure::Damaged, false, {}},
        {"field renamed", [](Pair& p) { p.main[117] = 'x'; }, OpenFailure::Damaged, false, {}},
        {"text field moved", [](Pair& p) { putLe32(p.main, 212, 12); }, OpenFailure::Damaged, false, {}},
        {"text field narrowed", [](Pair& p) { putLe32(p.main, 216, 256); }, OpenFailure::Damaged, false, {}},
        {"record count absurd", [](Pair& p) { putLe32(p.main, 16, 0xFFFFFFFF); }, OpenFailure::Damaged, false, {}},
        {"field descriptors in the other order",
         [](Pair& p) {
             const std::string first = p.main.substr(116, 72), second = p.main.substr(188, 72);
             p.main.replace(116, 72, second);
             p.main.replace(188, 72, first);
         },
         OpenFailure::None, false, abc},
        {"record count larger than the file", [](Pair& p) { putLe32(p.main, 16, 1000); }, OpenFailure::None, false,
         abc},
        {"last record cut short", [](Pair& p) { p.main.resize(260 + 520 * 2 + 100); }, OpenFailure::None, false,
         {{"A", false}, {"B", false}}},
        {"companion ends in part of a block", [](Pair& p) { p.data += std::string(100, 'z'); }, OpenFailure::None,
         false, abc},
        {"reference past the end of the companion",
         [](Pair& p) { putLe32(p.main, 260 + 520 + 4, 0x00FFFFFF); }, OpenFailure::None, false,
         {{"A", false}, {"B", true}, {"C", false}}},
        {"reference into the middle of a value",
         [](Pair& p) { putLe32(p.main, 260 + 1040 + 4, refOf(p, 3) + 2); }, OpenFailure::None, false,
         {{"A", false}, {"B", false}, {"C", true}}},
        {"content byte flipped", [](Pair& p) { p.data[refOf(p, 2) * 512 + 700] ^= 0x20; }, OpenFailure::None, false,
         {{"A", false}, {"B", true}, {"C", false}}},
        {"value header byte flipped", [](Pair& p) { p.data[refOf(p, 2) * 512 + 9] ^= 0x01; }, OpenFailure::None,
         false, {{"A", false}, {"B", true}, {"C", false}}},
        {"absurd content length",
         [](Pair& p) { forgeHeader(p, 2, [](fmt::ValueHeader& h) { h.contentLength = 1ull << 40; }); },
         OpenFailure::None, false, {{"A", false}, {"B", true}, {"C", false}}},
        {"content longer than its blocks",
         [](Pair& p) { forgeHeader(p, 2, [](fmt::ValueHeader& h) { h.contentLength += 5000; }); },
         OpenFailure::None, false, {{"A", false}, {"B", true}, {"C", false}}},
        {"run of blocks past the end",
         [](Pair& p) {
             forgeHeader(p, 3, [](fmt::ValueHeader& h) {
                 h.extents = {{h.extents[0].first, 2}, {0x7FFFFFF0u, h.extents[0].count - 2}};
             });
         },
         OpenFailure::None, false, {{"A", false}, {"B", false}, {"C", true}}},
        {"runs looping over the same blocks",
         [](Pair& p) {
             forgeHeader(p, 3, [](fmt::ValueHeader& h) {
                 const std::uint32_t half = h.extents[0].count / 2;
                 h.extents = {{h.extents[0].first, half}, {h.extents[0].first, h.extents[0].count - half}};
             });
         },
         OpenFailure::None, false, {{"A", false}, {"B", false}, {"C", true}}},
        {"first run elsewhere than the reference",
         [](Pair& p) {
             const std::uint32_t other = refOf(p, 1);
             forgeHeader(p, 3, [other](fmt::ValueHeader& h) { h.extents[0].first = other; });
         },
         OpenFailure::None, false, {{"A", false}, {"B", false}, {"C", true}}},
        {"too many runs",
         [](Pair& p) { p.data[refOf(p, 2) * 512 + 26] = static_cast<char>(fmt::kMaxExtents + 1); }, OpenFailure::None,
         false, {{"A", false}, {"B", true}, {"C", false}}},
        {"name torn after the reference was written",
         [](Pair& p) { p.main.replace(260 + 520 + 8, 3, "Bxy"); }, OpenFailure::None, false, abc},
        {"blank record with a stray name and a foreign header word",
         [](Pair& p) { setRecord(p, 1, 27, 0, "junk"); }, OpenFailure::None, false,
         {{"", false, true}, {"B", false}, {"C", false}}},
    };

    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        Pair pair = basePair();
        c.damage(pair);
        TempDir dir;
        writeBytes(dir / "DATA.EDB", pair.main);
        writeBytes(dir / "DATA.edt", pair.data);
        {
            ChapterStore store;
            const bool opened = store.Open(dir / "data.edb");
            EXPECT_EQ(store.openFailure(), c.failure);
            if (c.failure != OpenFailure::None) {
                EXPECT_FALSE(opened);
                EXPECT_EQ(store.failedFile(), dir / (c.companionBlamed ? "DATA.edt" : "DATA.EDB"));
                EXPECT_TRUE(store.IsPastEnd());
            } else {
                ASSERT_TRUE(opened);
                std::vector<Expect> seen;
                for (store.GoFirst(); !store.IsPastEnd(); store.Skip(1)) {
                    const std::string content = store.ReadField(contentFieldName());
                    const bool damaged = store.lastReadDamaged();
                    if (damaged) EXPECT_EQ(content, "");
                    seen.push_back({store.ReadField(nameFieldName()), damaged});
                    const int id = store.RecordNumber();
                    if (!damaged && !c.records.at(id - 1).blank)
                        EXPECT_EQ(content, chapterText(id, 0, id == 1 ? 300 : id == 2 ? 2000 : 5000));
                    if (c.records.at(id - 1).blank) EXPECT_EQ(content, "");
                }
                ASSERT_EQ(seen.size(), c.records.size());
                for (std::size_t i = 0; i < seen.size(); ++i) {
                    EXPECT_EQ(seen[i].name, c.records[i].name) << "record " << i + 1;
                    EXPECT_EQ(seen[i].damaged, c.records[i].damaged) << "record " << i + 1;
                }
            }
        }
        EXPECT_EQ(readBytes(dir / "DATA.EDB"), pair.main) << "Open rewrote the main file";
        EXPECT_EQ(readBytes(dir / "DATA.edt"), pair.data) << "Open rewrote the companion file";
        if (c.failure != OpenFailure::None) continue;

        // The intact chapters survive the store being used and compacted.
        {
            ChapterStore store;
            ASSERT_TRUE(store.Open(dir / "data.edb"));
            ASSERT_TRUE(store.AppendBlank());
            ASSERT_TRUE(store.ModifyCurrent({{contentFieldName(), chapterText(9, 0, 4000)}, {nameFieldName(), "N"}}));
            ASSERT_TRUE(goTo(store, 1));
            ASSERT_TRUE(store.DeleteCurrent());
            EXPECT_TRUE(store.Compact());
        }
        ChapterStore store;
        ASSERT_TRUE(store.Open(dir / "data.edb"));
        std::size_t k = 1;
        for (store.GoFirst(); !store.IsPastEnd(); store.Skip(1), ++k) {
            const std::string content = store.ReadField(contentFieldName());
            const bool damaged = store.lastReadDamaged();
            if (k == c.records.size()) {
                EXPECT_EQ(store.ReadField(nameFieldName()), "N");
                EXPECT_EQ(content, chapterText(9, 0, 4000));
                continue;
            }
            ASSERT_LT(k, c.records.size());
            const Expect& e = c.records[k];  // record 1 was deleted
            EXPECT_EQ(store.ReadField(nameFieldName()), e.name);
            EXPECT_EQ(damaged, e.damaged) << "record " << k + 1 << " before compacting";
            if (!e.damaged) EXPECT_EQ(content, chapterText(static_cast<int>(k + 1), 0, k == 1 ? 2000 : 5000));
        }
        EXPECT_EQ(k, c.records.size() + 1);
    }
}

TEST(ChapterStoreDamaged, MissingFilesAreNamed) {
    TempDir dir;
    ChapterStore store;
    EXPECT_FALSE(store.Open(dir / "data.edb"));
    EXPECT_EQ(store.openFailure(), OpenFailure::Missing);
    EXPECT_EQ(store.failedFile(), dir / "data.edb");

    writeBytes(dir / "DATA.EDB", shippedMain());
    EXPECT_FALSE(store.Open(dir / "data.edb"));
    EXPECT_EQ(store.openFailure(), OpenFailure::Missing);
    EXPECT_EQ(store.failedFile(), dir / "DATA.edt");
    EXPECT_EQ(folderNames(dir.path()), std::set<std::string>{"DATA.EDB"});
}

TEST(ChapterStoreDamaged, RecordsSharingOneValueKeepItWhileEitherUsesIt) {
    Pair pair = basePair();
    // C points at B's value: a hostile pair, or two records that once were one.
    setRecord(pair, 3, fmt::recordCheck(refOf(pair, 2), "C"), refOf(pair, 2), "C");
    TempDir dir;
    writeBytes(dir / "DATA.EDB", pair.main);
    writeBytes(dir / "DATA.edt", pair.data);
    ChapterStore store;
    ASSERT_TRUE(store.Open(dir / "data.edb"));
    EXPECT_NE(store.checkIntegrity(), "");
    ASSERT_TRUE(goTo(store, 2));
    for (int v = 1; v <= 30; ++v)
        ASSERT_TRUE(store.ModifyCurrent({{contentFieldName(), chapterText(2, v, 1000 + 300 * v)}, {nameFieldName(), "B"}}));
    ASSERT_TRUE(store.AppendBlank());
    ASSERT_TRUE(store.ModifyCurrent({{contentFieldName(), chapterText(4, 0, 30000)}, {nameFieldName(), "D"}}));
    ASSERT_TRUE(goTo(store, 3));
    EXPECT_EQ(store.ReadField(contentFieldName()), chapterText(2, 0, 2000));
    EXPECT_FALSE(store.lastReadDamaged());
}
