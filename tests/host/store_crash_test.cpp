// The store killed in the middle of its work. A child process saves; it dies at a chosen change to the
// files (before it, or after part of it is written) or at a random moment (SIGKILL). Reopened, the
// store must pass its integrity check and hold exactly the state before or after the operation that
// was running: every record old or new, no other record touched.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <random>
#include <thread>

#include "tests/host/store_test_support.hpp"

using namespace store_test;
using core::ChapterStore;

namespace {

struct MRec {
    int id = 0;
    std::string name, content;
    bool deleted = false;
};
using Model = std::vector<MRec>;

struct Op {
    enum Kind { Modify, Append, Delete, Compact, Resave } kind = Append;
    int record = 0;  // from 1
    int version = 0;
    std::size_t length = 0;
    bool rename = false;
};

const char* kindName(Op::Kind k) {
    static const char* names[] = {"Modify", "Append", "Delete", "Compact", "Resave"};
    return names[k];
}

int nextId(const Model& m) {
    int id = 0;
    for (const MRec& r : m) id = std::max(id, r.id);
    return id + 1;
}

void applyOp(Model& m, const Op& op) {
    switch (op.kind) {
    case Op::Modify: {
        MRec& r = m[op.record - 1];
        r.content = chapterText(r.id, op.version, op.length);
        if (op.rename) r.name = chapterName(r.id, op.version);
        break;
    }
    case Op::Append: m.push_back({nextId(m), "", "", false}); break;
    case Op::Delete: m[op.record - 1].deleted = true; break;
    case Op::Compact: std::erase_if(m, [](const MRec& r) { return r.deleted; }); break;
    case Op::Resave: break;
    }
}

// Runs one operation the way the writing window would; false when the store refused it.
bool run(ChapterStore& store, const Model& m, const Op& op) {
    switch (op.kind) {
    case Op::Modify: {
        const MRec& r = m[op.record - 1];
        const std::string name = op.rename ? chapterName(r.id, op.version) : r.name;
        return goTo(store, op.record) &&
               store.ModifyCurrent({{contentFieldName(), chapterText(r.id, op.version, op.length)}, {nameFieldName(), name}});
    }
    case Op::Append: return store.AppendBlank();
    case Op::Delete: return goTo(store, op.record) && store.DeleteCurrent();
    case Op::Compact: return store.Compact();
    case Op::Resave: {
        const MRec& r = m[op.record - 1];
        return goTo(store, op.record) && store.ModifyCurrent({{contentFieldName(), r.content}, {nameFieldName(), r.name}});
    }
    }
    return false;
}

std::vector<Rec> view(const Model& m) {
    std::vector<Rec> out;
    for (const MRec& r : m) out.push_back({r.name, r.content, r.deleted});
    return out;
}

Model startModel() {
    return {{1, chapterName(1, 0), chapterText(1, 0, 4000), false},
            {2, chapterName(2, 0), chapterText(2, 0, 900), false},
            {3, chapterName(3, 0), chapterText(3, 0, 12000), false}};
}

fs::path buildFrom(const fs::path& dir, const Model& m) {
    fs::path path = installShipped(dir);
    ChapterStore store;
    if (!store.Open(path)) return {};
    store.GoFirst();
    for (std::size_t i = 0; i < m.size(); ++i) {
        if (i > 0 && !store.AppendBlank()) return {};
        if (!store.ModifyCurrent({{contentFieldName(), m[i].content}, {nameFieldName(), m[i].name}})) return {};
    }
    return path;
}

// What a reopened store holds, with its integrity checked; nullopt-like empty name on failure.
std::string reopenAndCompare(const fs::path& path, const std::vector<Rec>& before, const std::vector<Rec>& after,
                             bool* wasAfter = nullptr) {
    ChapterStore store;
    if (!store.Open(path)) return "reopen failed";
    if (std::string problem = store.checkIntegrity(); !problem.empty()) return "integrity: " + problem;
    std::vector<Rec> seen;
    for (store.GoFirst(); !store.IsPastEnd(); store.Skip(1)) {
        Rec r;
        r.deleted = store.IsDeleted();
        r.content = store.ReadField(contentFieldName());
        if (store.lastReadDamaged()) return "record " + std::to_string(store.RecordNumber()) + " damaged";
        r.name = store.ReadField(nameFieldName());
        seen.push_back(std::move(r));
    }
    if (wasAfter) *wasAfter = seen == after && seen != before;
    if (seen == before || seen == after) return {};
    std::string why = "state is neither before nor after: " + std::to_string(seen.size()) + " records, before " +
                      std::to_string(before.size()) + ", after " + std::to_string(after.size());
    for (std::size_t i = 0; i < seen.size(); ++i) {
        const bool old = i < before.size() && seen[i] == before[i], young = i < after.size() && seen[i] == after[i];
        if (!old && !young) why += "; record " + std::to_string(i + 1) + " is a mix";
    }
    return why;
}

// ---------------------------------------------------------------------------------------------
// Crash points

enum class Mode { Before, TornHeader, TornRef, TornName, Fail };

struct Crash {
    int target = -1;
    Mode mode = Mode::Before;
    int calls = 0;
    bool dieNext = false;
};
Crash gCrash;
constexpr int kDied = 42;

std::size_t crashHook(core::store_testing::IoKind kind, std::uint64_t offset, std::size_t size) {
    if (gCrash.dieNext) _exit(kDied);
    if (gCrash.calls++ != gCrash.target) return size;
    using core::store_testing::IoKind;
    switch (gCrash.mode) {
    case Mode::Before: _exit(kDied);
    case Mode::Fail: return 0;
    default: break;
    }
    if (kind != IoKind::Write) _exit(kDied);
    gCrash.dieNext = true;
    if (size == 520) {  // a record: header word, reference, name
        return gCrash.mode == Mode::TornHeader ? 4 : gCrash.mode == Mode::TornRef ? 8 : 100;
    }
    // Anything else breaks at a sector boundary inside it, as a kill or a power cut would.
    const std::uint64_t boundary = (offset / 512 + 1) * 512 - offset;
    return boundary < size ? static_cast<std::size_t>(boundary) : size / 2;
}

std::size_t countHook(core::store_testing::IoKind, std::uint64_t, std::size_t size) {
    ++gCrash.calls;
    return size;
}

struct Script {
    std::vector<Op> ops;
    std::vector<Model> states;  // states[k]: after k operations
};

Script fixedScript() {
    Script s;
    s.states.push_back(startModel());
    auto add = [&](Op op) {
        s.ops.push_back(op);
        Model next = s.states.back();
        applyOp(next, op);
        s.states.push_back(std::move(next));
    };
    add({Op::Modify, 1, 1, 20000, true});
    add({Op::Append});
    add({Op::Modify, 4, 2, 3000, true});
    add({Op::Modify, 2, 3, 100, false});
    add({Op::Delete, 3});
    add({Op::Resave, 1});
    add({Op::Modify, 1, 4, 26000, false});
    add({Op::Append});
    add({Op::Modify, 5, 5, 0, true});
    add({Op::Compact});
    add({Op::Modify, 2, 6, 6000, true});
    add({Op::Delete, 1});
    add({Op::Append});
    add({Op::Compact});
    add({Op::Modify, 1, 7, 700, false});
    return s;
}

}  // namespace

TEST(ChapterStoreCrash, EveryChangeToTheFilesCanBeInterrupted) {
    const Script script = fixedScript();
    TempDir base;
    const fs::path basePath = buildFrom(base.path(), script.states[0]);
    ASSERT_FALSE(basePath.empty());
    const std::string baseMain = readBytes(base / "DATA.EDB"), baseData = readBytes(base / "DATA.edt");

    // Which operation each change call belongs to.
    std::vector<int> opOfCall;
    {
        TempDir dir;
        writeBytes(dir / "DATA.EDB", baseMain);
        writeBytes(dir / "DATA.edt", baseData);
        ChapterStore store;
        ASSERT_TRUE(store.Open(dir / "data.edb"));
        gCrash = {};
        core::store_testing::setIoHook(countHook);
        for (std::size_t k = 0; k < script.ops.size(); ++k) {
            ASSERT_TRUE(run(store, script.states[k], script.ops[k])) << k;
            opOfCall.resize(gCrash.calls, static_cast<int>(k));
        }
        core::store_testing::setIoHook(nullptr);
        ASSERT_EQ(walk(store), view(script.states.back()));
    }
    ASSERT_GT(opOfCall.size(), 40u);

    int crashes = 0, landedAfter = 0;
    for (int call = 0; call < static_cast<int>(opOfCall.size()); ++call) {
        for (Mode mode : {Mode::Before, Mode::TornHeader, Mode::TornRef, Mode::TornName, Mode::Fail}) {
            const int op = opOfCall[call];
            SCOPED_TRACE("change call " + std::to_string(call) + " in operation " + std::to_string(op) + " (" +
                         kindName(script.ops[op].kind) + "), mode " + std::to_string(static_cast<int>(mode)));
            TempDir dir;
            writeBytes(dir / "DATA.EDB", baseMain);
            writeBytes(dir / "DATA.edt", baseData);
            const fs::path path = dir / "data.edb";
            pid_t child = fork();
            ASSERT_GE(child, 0);
            if (child == 0) {
                ChapterStore store;
                if (!store.Open(path)) _exit(3);
                gCrash = {call, mode, 0, false};
                core::store_testing::setIoHook(crashHook);
                std::size_t k = 0;
                for (; k < script.ops.size(); ++k)
                    if (!run(store, script.states[k], script.ops[k])) break;
                core::store_testing::setIoHook(nullptr);
                if (mode != Mode::Fail) _exit(0);
                // A failed write: the store believes the state before or after the operation it refused
                // (or all went through when the failure was one it may ignore), keeps working, and a
                // reopen finds what it believes.
                std::vector<Rec> believed;
                for (store.GoFirst(); !store.IsPastEnd(); store.Skip(1))
                    believed.push_back({store.ReadField(nameFieldName()), store.ReadField(contentFieldName()), store.IsDeleted()});
                const bool known = k == script.ops.size() ? believed == view(script.states[k])
                                                          : believed == view(script.states[k]) ||
                                                                believed == view(script.states[k + 1]);
                if (!known) _exit(6);
                if (!store.AppendBlank() || !store.ModifyCurrent({{contentFieldName(), "afterwards"}, {nameFieldName(), "Z"}}) ||
                    !store.Compact())
                    _exit(7);
                _exit(0);
            }
            int status = 0;
            ASSERT_EQ(waitpid(child, &status, 0), child);
            ASSERT_TRUE(WIFEXITED(status));
            const int code = WEXITSTATUS(status);
            ASSERT_TRUE(code == 0 || code == kDied) << "child exit " << code;
            if (mode == Mode::Before) EXPECT_EQ(code, kDied) << "the session never reached this call";
            if (code == kDied) ++crashes;
            if (mode == Mode::Fail) {
                ChapterStore store;
                ASSERT_TRUE(store.Open(path));
                EXPECT_EQ(store.checkIntegrity(), "");
                std::vector<Rec> seen = walk(store);
                ASSERT_FALSE(seen.empty());
                EXPECT_EQ(seen.back(), (Rec{"Z", "afterwards", false}));
                continue;
            }
            bool after = false;
            EXPECT_EQ(reopenAndCompare(path, view(script.states[op]), view(script.states[op + 1]), &after), "");
            landedAfter += after;
            // A recovered store takes the next change.
            ChapterStore store;
            ASSERT_TRUE(store.Open(path));
            ASSERT_TRUE(store.AppendBlank());
            ASSERT_TRUE(store.ModifyCurrent({{contentFieldName(), "next"}, {nameFieldName(), "N"}}));
            ASSERT_TRUE(store.Compact());
            EXPECT_EQ(store.checkIntegrity(), "");
        }
    }
    RecordProperty("change_calls", static_cast<int>(opOfCall.size()));
    RecordProperty("crashes", crashes);
    RecordProperty("recovered_to_new_state", landedAfter);
    EXPECT_GT(landedAfter, 10) << "torn writes past the commit point should recover to the new state";
}

// ---------------------------------------------------------------------------------------------
// Random kills

namespace {

Op nextOp(std::mt19937& rng, const Model& m, int version) {
    const int roll = static_cast<int>(rng() % 100);
    const int n = static_cast<int>(m.size());
    int live = 0;
    for (const MRec& r : m) live += !r.deleted;
    auto anyRecord = [&] { return 1 + static_cast<int>(rng() % n); };
    if (n == 0 || (roll < 12 && n < 40)) return {Op::Append};
    if (roll < 62) {
        static const std::size_t scale[] = {1, 600, 5000, 30000};
        const std::size_t length = rng() % scale[rng() % 4];
        return {Op::Modify, anyRecord(), version, length, rng() % 4 == 0};
    }
    if (roll < 72 && live > 1) {
        int pick = static_cast<int>(rng() % live);
        for (int i = 0; i < n; ++i)
            if (!m[i].deleted && pick-- == 0) return {Op::Delete, i + 1};
    }
    if (roll < 82) return {Op::Compact};
    return {Op::Resave, anyRecord()};
}

}  // namespace

TEST(ChapterStoreCrash, SurvivesHundredsOfKillsAtRandomMoments) {
    TempDir dir;
    Model model = startModel();
    const fs::path path = buildFrom(dir.path(), model);
    ASSERT_FALSE(path.empty());
    std::mt19937 timing(2024);
    int version = 100;
    int kills = 0, inFlight = 0, compactsHit = 0, opsDone = 0;
    for (int round = 0; round < 250; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        const unsigned seed = 7000u + static_cast<unsigned>(round);
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(fds[0]);
            ChapterStore store;
            if (!store.Open(path)) _exit(3);
            std::mt19937 rng(seed);
            Model m = model;
            for (int k = 1;; ++k) {
                const Op op = nextOp(rng, m, version + k);
                if (!run(store, m, op)) _exit(4);
                applyOp(m, op);
                if (write(fds[1], &k, sizeof k) != sizeof k) _exit(5);
            }
        }
        ::close(fds[1]);
        std::this_thread::sleep_for(std::chrono::microseconds(timing() % 4000));
        ::kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status)) << "child stopped by itself with " << WEXITSTATUS(status);
        ++kills;
        int done = 0, k = 0;
        while (read(fds[0], &k, sizeof k) == sizeof k) done = k;
        ::close(fds[0]);

        std::mt19937 rng(seed);
        Model before = model;
        Op op;
        for (int i = 1; i <= done + 1; ++i) {
            op = nextOp(rng, before, version + i);
            if (i <= done) applyOp(before, op);
        }
        Model after = before;
        applyOp(after, op);
        bool wasAfter = false;
        ASSERT_EQ(reopenAndCompare(path, view(before), view(after), &wasAfter), "")
            << done << " operations done, then " << kindName(op.kind);
        model = wasAfter ? after : before;
        inFlight += wasAfter;
        compactsHit += op.kind == Op::Compact;
        opsDone += done;
        version += 1000;
    }
    RecordProperty("kills", kills);
    RecordProperty("operations_completed", opsDone);
    RecordProperty("kills_after_the_commit_point", inFlight);
    RecordProperty("kills_during_compact", compactsHit);
    EXPECT_GE(kills, 200);
    EXPECT_GT(opsDone, kills) << "the children should get some work done between kills";
}
