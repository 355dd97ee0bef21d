// Output files: a regular file is replaced only whole, a device or FIFO is
// written in place and never replaced, a folder or socket is refused and
// left as it is; for `script -o`, the script beside a database and the
// emulator copy alike.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <fstream>
#include <thread>

#include "built_db.h"
#include "commands.h"
#include "emulator_copy.h"
#include "output_file.h"
#include "write_helpers.h"

using namespace vantrel;
using namespace vantrel::test;

namespace {

bool isCharDevice(const char* p) {
    struct stat st{};
    return ::stat(p, &st) == 0 && S_ISCHR(st.st_mode);
}

bool isFifo(const std::filesystem::path& p) { return std::filesystem::is_fifo(p); }

// Everything but `keep` in the folder: no temporary file is left behind.
size_t entries(const std::filesystem::path& dir) {
    return size_t(std::distance(std::filesystem::directory_iterator(dir), {}));
}

void makeSocket(const std::filesystem::path& p) {
    int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(s, 0);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::strncpy(a.sun_path, p.c_str(), sizeof a.sun_path - 1);
    ASSERT_EQ(0, ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a));
    ::close(s);
}

}  // namespace

TEST(ScriptOutput, DevNullIsWrittenNotReplaced) {
    TempDir dir;
    auto db = buildDb(dir / "shop.mdb", shopStatements());
    ASSERT_TRUE(isCharDevice("/dev/null"));
    EXPECT_EQ(0, runScript(db.string(), "bluefinchtea", "/dev/null", {}));
    EXPECT_TRUE(isCharDevice("/dev/null"));
    EXPECT_EQ(0, runScript(db.string(), "bluefinchtea", "/dev/null", {}));  // and again
    EXPECT_TRUE(isCharDevice("/dev/null"));
    EXPECT_EQ(1u, entries(dir.path()));
}

TEST(ScriptOutput, AFifoGetsTheWholeScriptAsOneStream) {
    TempDir dir;
    auto db = buildDb(dir / "shop.mdb", shopStatements());
    auto fifo = dir / "pipe";
    ASSERT_EQ(0, ::mkfifo(fifo.c_str(), 0600));
    std::string got;
    std::thread reader([&] {
        std::ifstream in(fifo, std::ios::binary);
        got.assign(std::istreambuf_iterator<char>(in), {});
    });
    // The reader's open and the writer's meet; the writer may come first.
    int rc = -1;
    for (int tries = 0; tries < 200; ++tries) {
        try {
            rc = runScript(db.string(), "bluefinchtea", fifo.string(), {});
            break;
        } catch (const JetError& e) {
            ASSERT_EQ(75, e.Number) << e.Description;  // no reader yet
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    reader.join();
    EXPECT_EQ(0, rc);
    EXPECT_TRUE(isFifo(fifo));
    EXPECT_EQ(0u, got.find("INSERT INTO"));
    EXPECT_TRUE(got.ends_with("End Of File\r\n")) << got.substr(got.size() > 40 ? got.size() - 40 : 0);
}

TEST(ScriptOutput, AFifoNobodyReadsIsRefusedNotWaitedFor) {
    TempDir dir;
    auto db = buildDb(dir / "shop.mdb", shopStatements());
    auto fifo = dir / "pipe";
    ASSERT_EQ(0, ::mkfifo(fifo.c_str(), 0600));
    try {
        runScript(db.string(), "bluefinchtea", fifo.string(), {});
        FAIL() << "written to a FIFO without a reader";
    } catch (const JetError& e) {
        EXPECT_EQ(75, e.Number);
        EXPECT_NE(std::string::npos, e.Description.find("FIFO")) << e.Description;
    }
    EXPECT_TRUE(isFifo(fifo));
}

TEST(ScriptOutput, AFolderOrSocketIsRefusedAndLeftAsItIs) {
    TempDir dir;
    auto db = buildDb(dir / "shop.mdb", shopStatements());
    auto folder = dir / "out";
    std::filesystem::create_directory(folder);
    EXPECT_EQ(75, jetErrorOf([&] { runScript(db.string(), "bluefinchtea", folder.string(), {}); }));
    EXPECT_TRUE(std::filesystem::is_directory(folder));
    EXPECT_TRUE(std::filesystem::is_empty(folder));
    auto sock = dir / "sock";
    makeSocket(sock);
    EXPECT_EQ(75, jetErrorOf([&] { runScript(db.string(), "bluefinchtea", sock.string(), {}); }));
    EXPECT_TRUE(std::filesystem::is_socket(sock));
    EXPECT_EQ(3u, entries(dir.path()));
}

TEST(ScriptOutput, ARegularFileIsReplacedOnlyWhenTheScriptIsWhole) {
    TempDir dir;
    auto db = buildDb(dir / "shop.mdb", shopStatements());
    auto out = dir / "out.sql";
    std::ofstream(out) << "the old script\r\n";
    // A failing run (no such table) keeps the old file and leaves no temporary one.
    EXPECT_NE(0, jetErrorOf([&] { runScript(db.string(), "bluefinchtea", out.string(), {"NoSuchTable"}); }));
    EXPECT_EQ("the old script\r\n", fileBytes(out));
    EXPECT_EQ(2u, entries(dir.path()));
    EXPECT_EQ(0, runScript(db.string(), "bluefinchtea", out.string(), {}));
    EXPECT_TRUE(fileBytes(out).ends_with("End Of File\r\n"));
    EXPECT_EQ(2u, entries(dir.path()));
}

TEST(ScriptOutput, TheScriptBesideADatabaseNeverReplacesAFolder) {
    TempDir dir;
    auto db = buildDb(dir / "shop.mdb", shopStatements());
    const std::string before = fileBytes(db);
    std::filesystem::create_directory(dir / "shop.tdb");
    EXPECT_EQ(75, jetErrorOf([&] { runConvert(db.string(), "bluefinchtea", false); }));
    EXPECT_TRUE(std::filesystem::is_directory(dir / "shop.tdb"));
    EXPECT_TRUE(before == fileBytes(db));  // refused before anything ran
}

TEST(ScriptOutput, TheConverterScriptReplacesAnOldOneAndLeavesNoTemporaryFile) {
    TempDir dir;
    auto db = buildDb(dir / "shop.mdb", shopStatements());
    std::ofstream(dir / "shop.tdb") << "stale";
    EXPECT_EQ(0, runConvert(db.string(), "bluefinchtea", false));
    EXPECT_TRUE(fileBytes(dir / "shop.tdb").ends_with("End Of File\r\n"));
    EXPECT_EQ(2u, entries(dir.path()));
}

TEST(OutputFileKinds, TemporaryNameOnlyForRegularFiles) {
    TempDir dir;
    {
        OutputFile f((dir / "new.txt").string());
        EXPECT_FALSE(f.inPlace());
        EXPECT_FALSE(std::filesystem::exists(dir / "new.txt"));
        std::ofstream(f.writePath()) << "x";
        f.commit();
    }
    EXPECT_EQ("x", fileBytes(dir / "new.txt"));
    {
        OutputFile f((dir / "new.txt").string(), OutputFile::OnFailure::keepPartial);
        std::ofstream(f.writePath()) << "partial";
    }  // dropped without commit: the partial text takes the name
    EXPECT_EQ("partial", fileBytes(dir / "new.txt"));
    {
        OutputFile f((dir / "new.txt").string(), OutputFile::OnFailure::keepPartial);
    }  // nothing written: the old file goes, no empty one comes
    EXPECT_FALSE(std::filesystem::exists(dir / "new.txt"));
    EXPECT_EQ(0u, entries(dir.path()));
    OutputFile null("/dev/null");
    EXPECT_TRUE(null.inPlace());
    EXPECT_EQ(76, jetErrorOf([&] { OutputFile((dir / "no" / "such.txt").string()); }));
}

TEST(EmulatorCopy, DevicesAreWrittenFoldersRefusedFilesReplacedWhole) {
    TempDir dir;
    auto from = dir / "a.tdb";
    std::ofstream(from) << "End Of File\r\n";
    EXPECT_NO_THROW(CopyReplacing(from.string(), "/dev/null"));
    EXPECT_TRUE(isCharDevice("/dev/null"));
    std::filesystem::create_directory(dir / "folder");
    EXPECT_EQ(75, jetErrorOf([&] { CopyReplacing(from.string(), (dir / "folder").string()); }));
    EXPECT_TRUE(std::filesystem::is_empty(dir / "folder"));
    std::ofstream(dir / "b.tdb") << "older";
    CopyReplacing(from.string(), (dir / "b.tdb").string());
    EXPECT_EQ("End Of File\r\n", fileBytes(dir / "b.tdb"));
    EXPECT_EQ(3u, entries(dir.path()));
}

TEST(FileSafety, AFifoOrDeviceIsNotADatabaseAndIsNotWaitedFor) {
    TempDir dir;
    ASSERT_EQ(0, ::mkfifo((dir / "pipe.mdb").c_str(), 0600));
    EXPECT_EQ(3343, jetErrorOf([&] { openWritable(dir / "pipe.mdb"); }));
    EXPECT_EQ(3343, jetErrorOf([&] { DBEngine::Default().OpenDatabase((dir / "pipe.mdb").string(), false, true); }));
    EXPECT_EQ(3343, jetErrorOf([&] { DBEngine::Default().OpenDatabase("/dev/null", false, true); }));
    EXPECT_TRUE(std::filesystem::is_fifo(dir / "pipe.mdb"));
}
