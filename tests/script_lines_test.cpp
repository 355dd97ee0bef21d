// The script writer's lines go out in blocks through one open file, and a
// failure still lands on a line boundary: the lines of the records before it
// are in the file, nothing of the failing record or after it; the line count
// says how many are there.
#include <gtest/gtest.h>

#include <algorithm>

#include "built_db.h"
#include "converter.h"
#include "fault_env.h"
#include "script_lines.h"
#include "write_helpers.h"

using namespace vantrel;
using namespace vantrel::test;

namespace {

class Quiet : public MessageSink {
public:
    void Show(const std::string&) override {}
};

const std::string kPad(200, 'x');

// A table of `rows` records, each line about 270 bytes (a table is several
// blocks); record number `decimalAt` (from 1, 0 for none) holds a Decimal
// value, which has no script form.
std::filesystem::path itemsDb(const std::filesystem::path& path, int rows, int decimalAt = 0) {
    Database db = DBEngine::Default().CreateDatabase(path.string(), std::string(dbLangGeneral) + ";pwd=bluefinchtea");
    db.Execute("CREATE TABLE Items (ID LONG, Name TEXT(255), Price DECIMAL(10, 2))");
    db.BeginTrans();
    for (int i = 1; i <= rows; ++i) {
        const std::string id = std::to_string(i);
        db.Execute(i == decimalAt ? "INSERT INTO Items VALUES (" + id + ", 'item " + id + kPad + "', 1.5)"
                                  : "INSERT INTO Items (ID, Name) VALUES (" + id + ", 'item " + id + kPad + "')");
    }
    db.CommitTrans();
    db.Close();
    return path;
}

// The table most tests write, made once.
const std::filesystem::path& sharedItems() {
    static TempDir dir;
    static const std::filesystem::path db = itemsDb(dir / "items.mdb", 3000);
    return db;
}

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> out;
    size_t from = 0;
    for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", from)) {
        out.push_back(text.substr(from, at - from));
        from = at + 2;
    }
    EXPECT_EQ(text.size(), from) << "the file ends inside a line";
    return out;
}

// A disk as a real one fills: a write that does not fit puts in what fits,
// then fails with noSpace (FaultEnv's writes fail whole).
class FillingEnv : public platform::Env {
public:
    explicit FillingEnv(uint64_t room) : room_(room) {}
    class FillingFile : public platform::File {
    public:
        FillingFile(std::unique_ptr<platform::File> real, uint64_t& room) : real_(std::move(real)), room_(room) {}
        size_t readAt(uint64_t at, uint8_t* p, size_t n) override { return real_->readAt(at, p, n); }
        void writeAt(uint64_t at, const uint8_t* p, size_t n) override { real_->writeAt(at, p, n); }
        void append(const uint8_t* p, size_t n) override {
            const size_t fits = size_t(std::min<uint64_t>(n, room_));
            real_->append(p, fits);
            room_ -= fits;
            if (fits < n) throw platform::IoError(platform::Reason::noSpace, "writing", "No space left on device");
        }
        void sync() override { real_->sync(); }
        void truncate(uint64_t size) override {
            room_ += real_->size() - std::min(size, real_->size());
            real_->truncate(size);
        }
        uint64_t size() override { return real_->size(); }
        platform::FileId id() override { return real_->id(); }
        bool lock(platform::Lock kind) override { return real_->lock(kind); }
        const std::string& path() const override { return real_->path(); }

    private:
        std::unique_ptr<platform::File> real_;
        uint64_t& room_;
    };
    std::unique_ptr<platform::File> open(const std::string& path, platform::Open mode) override {
        return std::make_unique<FillingFile>(real_.open(path, mode), room_);
    }
    platform::FileInfo info(const std::string& path) override { return real_.info(path); }
    void rename(const std::string& from, const std::string& to) override { real_.rename(from, to); }
    void renameNoReplace(const std::string& from, const std::string& to) override { real_.renameNoReplace(from, to); }
    void remove(const std::string& path) override { real_.remove(path); }
    void syncFolder(const std::string& folder) override { real_.syncFolder(folder); }
    std::string resolve(const std::string& path) override { return real_.resolve(path); }
    std::string folderOf(const std::string& path) override { return real_.folderOf(path); }
    bool inUse(const std::string& path) override { return real_.inUse(path); }
    uint64_t processId() override { return real_.processId(); }

private:
    platform::Env& real_ = platform::Env::system();
    uint64_t room_;
};

struct Written {
    long error = 0;
    long lines = 0;
    std::string bytes;
};

Written writeItems(const std::filesystem::path& db, const std::filesystem::path& script, platform::Env& env) {
    Quiet quiet;
    Converter c(quiet);
    c.ScriptPath = script.string();
    c.scriptEnv(env);
    Database d = DBEngine::Default().OpenDatabase(db.string(), false, true, ";pwd=bluefinchtea");
    TableDef t = d.TableDefs().Item("Items");
    Written w;
    w.error = jetErrorOf([&] { c.WriteRecords(d, t); });
    w.lines = c.linesWritten();
    w.bytes = fileBytes(script);
    return w;
}

}  // namespace

TEST(ScriptLines, ATableGoesOutThroughOneOpenFileInFewWrites) {
    TempDir dir;
    const auto& db = sharedItems();
    FaultEnv env;
    const Written w = writeItems(db, dir / "s.tdb", env);
    ASSERT_EQ(0, w.error);
    const auto lines = linesOf(w.bytes);
    ASSERT_EQ(3000u, lines.size());
    EXPECT_EQ(3000, w.lines);
    EXPECT_EQ("INSERT INTO [Items] ([ID], [Name]) values (1, \"item 1" + kPad + "\")", lines.front());
    EXPECT_EQ("INSERT INTO [Items] ([ID], [Name]) values (3000, \"item 3000" + kPad + "\")", lines.back());
    long opens = 0, writes = 0;
    for (const FsEvent& e : env.eventsOf("s.tdb")) {
        opens += e.op == FsEvent::open;
        writes += e.op == FsEvent::write;
    }
    EXPECT_EQ(1, opens);
    EXPECT_LE(writes, long(w.bytes.size() / (128 * 1024)) + 1);
}

// The disk fills in the middle of the table: exactly the lines that fit are
// in the file, whole, and the count says so; error 61 as before.
TEST(ScriptLines, ADiskFullMidTableLeavesTheWholeLinesBeforeIt) {
    TempDir dir;
    const auto& db = sharedItems();
    FaultEnv plain;
    const Written all = writeItems(db, dir / "all.tdb", plain);
    ASSERT_EQ(0, all.error);
    const auto allLines = linesOf(all.bytes);
    for (uint64_t room : {uint64_t(0), uint64_t(1), uint64_t(100), uint64_t(70000), uint64_t(all.bytes.size() / 2),
                          uint64_t(all.bytes.size() - 1)}) {
        FaultEnv env;
        env.diskFullAfter = room;
        const auto script = dir / ("full" + std::to_string(room) + ".tdb");
        const Written w = writeItems(db, script, env);
        EXPECT_EQ(61, w.error) << room;
        // The longest run of whole lines that fits in `room` bytes.
        size_t fits = 0, bytes = 0;
        while (fits < allLines.size() && bytes + allLines[fits].size() + 2 <= room) bytes += allLines[fits++].size() + 2;
        EXPECT_EQ(all.bytes.substr(0, bytes), w.bytes) << room;
        EXPECT_EQ(long(fits), w.lines) << room;
    }
}

// On a disk that takes part of a write before it fails, the file ends as it
// did when each line was appended on its own: every line before the one
// that did not fit, and of that one what fit (the system wrote it).
TEST(ScriptLines, APartlyTakenBlockIsCutBackAndWrittenLineByLine) {
    TempDir dir;
    const auto& db = sharedItems();
    FaultEnv plain;
    const Written all = writeItems(db, dir / "all.tdb", plain);
    ASSERT_EQ(0, all.error);
    const auto allLines = linesOf(all.bytes);
    for (uint64_t room : {uint64_t(10), uint64_t(70000), uint64_t(all.bytes.size() - 3)}) {
        FillingEnv env(room);
        const Written w = writeItems(db, dir / ("fill" + std::to_string(room) + ".tdb"), env);
        EXPECT_EQ(61, w.error) << room;
        EXPECT_EQ(all.bytes.substr(0, room), w.bytes) << room;
        size_t fits = 0, bytes = 0;
        while (bytes + allLines[fits].size() + 2 <= room) bytes += allLines[fits++].size() + 2;
        EXPECT_EQ(long(fits), w.lines) << room;
    }
}

// Any other failure of a write: error 57, the file cut back to whole lines.
TEST(ScriptLines, AFailingWriteKeepsWholeLinesOnly) {
    TempDir dir;
    const auto& db = sharedItems();
    FaultEnv env;
    int writes = 0;
    env.fault = [&](const FsEvent& e) -> std::optional<platform::Reason> {
        if (e.op == FsEvent::write && ++writes >= 2) return platform::Reason::other;
        return std::nullopt;
    };
    const Written w = writeItems(db, dir / "s.tdb", env);
    EXPECT_EQ(57, w.error);
    const auto lines = linesOf(w.bytes);
    EXPECT_EQ(long(lines.size()), w.lines);
    EXPECT_GT(lines.size(), 0u);
    EXPECT_LT(lines.size(), 3000u);
}

// A write that fails once more when its block is retried line by line ends
// the writer there, even if the disk would take the next writes: the file
// holds the blocks before it, whole, and nothing after.
TEST(ScriptLines, TheFirstFailingLineIsTheLastWrite) {
    TempDir dir;
    const auto& db = sharedItems();
    FaultEnv plain;
    const Written all = writeItems(db, dir / "all.tdb", plain);
    FaultEnv env;
    int writes = 0;
    env.fault = [&](const FsEvent& e) -> std::optional<platform::Reason> {
        if (e.op != FsEvent::write) return std::nullopt;
        ++writes;
        return writes == 2 || writes == 3 ? std::optional(platform::Reason::other) : std::nullopt;
    };
    const Written w = writeItems(db, dir / "s.tdb", env);
    EXPECT_EQ(57, w.error);
    EXPECT_EQ(3, writes);
    const size_t firstBlock = linesOf(w.bytes).size();
    EXPECT_EQ(long(firstBlock), w.lines);
    EXPECT_EQ(all.bytes.substr(0, w.bytes.size()), w.bytes);
    EXPECT_LT(firstBlock, 3000u);
}

// A record the writer cannot write in the middle of the table: the lines of
// the records before it are in the file, its own and later ones are not.
TEST(ScriptLines, ARecordFailureKeepsTheRecordsBeforeIt) {
    TempDir dir;
    for (int failing : {1, 2, 1500}) {
        const auto db = itemsDb(dir / ("items" + std::to_string(failing) + ".mdb"), 1600, failing);
        FaultEnv env;
        const auto script = dir / ("s" + std::to_string(failing) + ".tdb");
        const Written w = writeItems(db, script, env);
        EXPECT_EQ(13, w.error) << failing;
        EXPECT_EQ(long(failing - 1), w.lines);
        if (failing == 1) {
            EXPECT_FALSE(std::filesystem::exists(script)) << "no line, no file";
            continue;
        }
        const auto lines = linesOf(w.bytes);
        ASSERT_EQ(size_t(failing - 1), lines.size());
        const std::string last = std::to_string(failing - 1);
        EXPECT_EQ("INSERT INTO [Items] ([ID], [Name]) values (" + last + ", \"item " + last + kPad + "\")", lines.back());
    }
}

// The disk fills with lines of records before a failing one: the disk's
// error is raised, as a writer appending each line on its own met it first,
// and the file holds the lines that fit.
TEST(ScriptLines, ADiskFullBeforeAFailingRecordIsTheErrorRaised) {
    TempDir dir;
    const auto db = itemsDb(dir / "items.mdb", 1600, 1500);
    FaultEnv plain;
    const Written upTo = writeItems(db, dir / "plain.tdb", plain);
    ASSERT_EQ(13, upTo.error);
    ASSERT_EQ(1499, upTo.lines);
    FaultEnv env;
    env.diskFullAfter = upTo.bytes.size() - 1;
    const Written w = writeItems(db, dir / "full.tdb", env);
    EXPECT_EQ(61, w.error);
    EXPECT_EQ(1498, w.lines);
    EXPECT_EQ(upTo.bytes.substr(0, upTo.bytes.rfind("INSERT")), w.bytes);
}

TEST(ScriptLines, OpenFailuresAreTheWritersErrors) {
    TempDir dir;
    long n = 0;
    auto flushOne = [&](const std::string& path) {
        return jetErrorOf([&] {
            ScriptLines lines(path, n);
            lines.add("x");
            lines.flush();
        });
    };
    EXPECT_EQ(76, flushOne((dir / "no" / "such.tdb").string()));
    EXPECT_EQ(52, flushOne(""));
    EXPECT_EQ(75, flushOne(dir.path().string()));
    EXPECT_EQ(0, n);
    // Nothing added, nothing opened: no file.
    EXPECT_EQ(0, jetErrorOf([&] { ScriptLines((dir / "none.tdb").string(), n).flush(); }));
    EXPECT_FALSE(std::filesystem::exists(dir / "none.tdb"));
}

// Every failure of the script file says which file it was.
TEST(ScriptLines, WriteErrorsNameTheScriptFile) {
    TempDir dir;
    FillingEnv full(0);
    struct Case {
        std::string path;
        platform::Env& env;
        long number;
    };
    const Case cases[] = {
        {(dir / "no" / "such.tdb").string(), platform::Env::system(), 76},
        {dir.path().string(), platform::Env::system(), 75},
        {(dir / "full.tdb").string(), full, 61},
    };
    for (const Case& c : cases) {
        try {
            AppendLine(c.path, "x", c.env);
            ADD_FAILURE() << c.path << " was written";
        } catch (const JetError& e) {
            EXPECT_EQ(c.number, e.Number) << c.path;
            EXPECT_NE(std::string::npos, e.Description.find("'" + c.path + "'")) << e.Description;
        }
    }
}
