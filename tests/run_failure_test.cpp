// Failures that concern the file, not one statement, end a null-fill run at
// once with the error (no per-column messages, no end marker), whereas a
// statement's own failure is reported and skipped; a damaged data page is
// reported by every reader rather than skipped.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "built_db.h"
#include "commands.h"
#include "converter.h"
#include "damage_helpers.h"
#include "script_file.h"
#include "write_helpers.h"

using namespace vantrel;
using namespace vantrel::test;

namespace {

class Collect : public MessageSink {
public:
    void Show(const std::string& text) override { shown.push_back(text); }
    std::vector<std::string> shown;
};

JetError errorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const JetError& e) {
        return e;
    }
    return {0, ""};
}

int userColumns(const std::filesystem::path& db) {
    Database d = DBEngine::Default().OpenDatabase(db.string(), false, true, ";pwd=bluefinchtea");
    int n = 0;
    for (const TableDef& t : d.TableDefs())
        if (t.Attributes() == 0 && t.Name().rfind("MSys", 0) != 0) n += t.Fields().Count();
    return n;
}

}  // namespace

TEST(ErrorKinds, FileFailuresAndStatementFailuresAreToldApart) {
    for (long n : {3024L, 3043L, 3045L, 3049L, 3051L, 3343L}) EXPECT_TRUE(JetError(n, "").concernsFile()) << n;
    // Names, types, syntax, unsupported type classes and rules, refused rows.
    for (long n : {13L, 6L, 3061L, 3078L, 3144L, 3251L, 3265L, 3360L}) EXPECT_FALSE(JetError(n, "").concernsFile()) << n;
}

TEST(ErrorKinds, EachFactoryGivesJetsNumberAndText) {
    const struct {
        JetError e;
        long number;
        const char* text;
    } cases[] = {
        {err::typeMismatch(), 13, "Type mismatch"},
        {err::pathNotFound(), 76, "Path not found"},
        {err::pathNotFound("the emulator folder /x"), 76, "Path not found: the emulator folder /x"},
        {err::pathFileAccess("'/x' is a folder"), 75, "Path/File access error ('/x' is a folder)"},
        {err::readOnly(), 3027, "Cannot update.  Database or object is read-only."},
        {err::tableExists("T"), 3010, "Table 'T' already exists."},
        {err::tooFewParameters(2), 3061, "Too few parameters. Expected 2."},
        {err::inputNotFound("T"), 3078,
         "The Microsoft Jet database engine cannot find the input table or query 'T'.  Make sure it exists and that its name is "
         "spelled correctly."},
        {err::notSupported(), 3251, "Operation is not supported for this type of object."},
        {err::notSupported("linked table"), 3251, "Operation is not supported for this type of object. (linked table)"},
        {err::itemNotFound(), 3265, "Item not found in this collection."},
        {err::itemNotFound("7"), 3265, "Item not found in this collection. (7)"},
        {err::syntaxInFieldDefinition(), 3292, "Syntax error in field definition."},
        {err::tooComplex(), 3360, "Query is too complex."},
        {err::indexNameTaken("T", "I"), 3375, "Table 'T' already has an index named 'I'."},
        {err::criteriaMismatch(), 3464, "Data type mismatch in criteria expression."},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.number, c.e.Number) << c.text;
        EXPECT_EQ(c.text, c.e.Description);
        EXPECT_STREQ(c.text, c.e.what());
    }
}

TEST(ErrorKinds, DamageSaysWhereOnceByTheDeepestLayerThatKnows) {
    FormatError e("not an index page", 12);
    e.atPage(40);  // an outer layer reading another page does not move it
    e.inTableDefinedAt(9);
    EXPECT_STREQ("the table defined at page 9: page 12: not an index page", e.what());
    e.inTable("Other", 5);  // a table defined elsewhere: damage met in table 9 is not its
    e.inTable("Other");
    EXPECT_STREQ("the table defined at page 9: page 12: not an index page", e.what());
    e.inTable("Orders", 9);  // its name says more than its definition's page
    e.inTable("Other", 9);
    EXPECT_STREQ("table 'Orders': page 12: not an index page", e.what());
    EXPECT_EQ("not an index page", e.detail());
    EXPECT_STREQ("row too short", FormatError("row too short").what());
    // An internal fault is not damage, nor a Jet error.
    EXPECT_THROW(throw err::internal("x"), std::logic_error);
}

TEST(NullFillStops, DiskFullEndsThePassAtOnceWithNoColumnMessage) {
    TempDir dir;
    auto path = buildDb(dir / "projects.mdb", projectStatements());
    const std::string before = fileBytes(path);
    const int columns = userColumns(path);
    DBEngine full;
    full.SetWriteHook([](uint32_t page) {
        throw JetError(3043, "Disk or network error. (writing page " + std::to_string(page) + ": No space left on device)");
    });
    Collect sink;
    Converter conv(sink);
    conv.dbSrc = openWritable(path, full);
    EXPECT_EQ(3043, errorOf([&] { conv.MainSub(conv.dbSrc); }).Number);
    EXPECT_TRUE(sink.shown.empty()) << sink.shown.front();  // no "錯誤略過" for a full disk
    // The pass stopped at the first column with Nulls to fill.
    EXPECT_LT(int(conv.outcomes().size()), columns);
    conv.dbSrc.Close();
    EXPECT_EQ(before, fileBytes(path));
}

TEST(NullFillStops, AnInternalFaultEndsThePassInsteadOfSkippingAColumn) {
    // What is not a Jet error is no column's fault: the run ends with it.
    const std::vector<std::function<void()>> faults = {
        [] { throw InternalError("injected broken invariant"); },
        [] { throw std::runtime_error("injected other failure"); },
    };
    for (size_t k = 0; k < faults.size(); ++k) {
        TempDir dir;
        auto path = buildDb(dir / "projects.mdb", projectStatements());
        const std::string before = fileBytes(path);
        DBEngine faulty;
        faulty.SetWriteHook([&](uint32_t) { faults[k](); });
        Collect sink;
        Converter conv(sink);
        conv.dbSrc = openWritable(path, faulty);
        std::string said;
        try {
            conv.MainSub(conv.dbSrc);
        } catch (const JetError& e) {
            said = "JetError " + std::to_string(e.Number);
        } catch (const std::exception& e) {
            said = e.what();
        }
        EXPECT_NE(std::string::npos, said.find("injected")) << k << ": " << said;
        EXPECT_TRUE(sink.shown.empty()) << k << ": " << sink.shown.front();
        conv.dbSrc.Close();
        EXPECT_EQ(before, fileBytes(path)) << k;
    }
}

TEST(NullFillStops, AFailureAtAnyWriteStopsThePassAndLeavesACommittedState) {
    TempDir dir;
    // Two tables with indexes: a table's statements reach the file together, so
    // it takes more than one table for more than a couple of writes.
    auto path = buildDb(dir / "shop.mdb", shopStatements());
    int writes = 0;
    {
        auto copy = dir / "count.mdb";
        std::filesystem::copy_file(path, copy);
        DBEngine counting;
        counting.SetWriteHook([&](uint32_t) { ++writes; });
        Collect sink;
        Converter conv(sink);
        conv.dbSrc = openWritable(copy, counting);
        conv.MainSub(conv.dbSrc);
        conv.dbSrc.Close();
        ASSERT_TRUE(sink.shown.empty());
    }
    ASSERT_GT(writes, 2);
    for (int k = 1; k <= writes; ++k) {
        auto copy = dir / ("k" + std::to_string(k) + ".mdb");
        std::filesystem::copy_file(path, copy);
        DBEngine failing;
        int n = 0;
        failing.SetWriteHook([&](uint32_t) {
            if (++n >= k) throw JetError(3043, "Disk or network error. (injected)");
        });
        Collect sink;
        Converter conv(sink);
        conv.dbSrc = openWritable(copy, failing);
        EXPECT_EQ(3043, errorOf([&] { conv.MainSub(conv.dbSrc); }).Number) << "k=" << k;
        EXPECT_TRUE(sink.shown.empty()) << "k=" << k;
        conv.dbSrc.Close();
        EXPECT_TRUE(indexProblems(copy).empty()) << "k=" << k;
    }
}

TEST(NullFillStops, StatementFailuresAreStillReportedPerColumn) {
    TempDir dir;
    auto path = buildDb(dir / "odd.mdb", {"CREATE TABLE [Odd Name] (A TEXT(5), B LONG)", "INSERT INTO [Odd Name] (B) VALUES (1)",
                                          "CREATE TABLE Plain (C TEXT(5), D LONG)", "INSERT INTO Plain (D) VALUES (2)"});
    Collect sink;
    Converter conv(sink);
    conv.dbSrc = openWritable(path);
    conv.MainSub(conv.dbSrc);
    conv.dbSrc.Close();
    EXPECT_EQ((std::vector<std::string>{"Odd Name表單的 A欄位  錯誤略過", "Odd Name表單的 B欄位  錯誤略過"}), sink.shown);
    auto filled = columnValues(openWritable(path), "Plain", "C");
    ASSERT_EQ(1u, filled.size());
    EXPECT_EQ("", filled[0].str());
}

TEST(NullFillStops, AnUnwritableFolderIs3051BeforeAnyStatement) {
    TempDir dir;
    std::filesystem::create_directory(dir / "ro");
    auto path = buildDb(dir / "ro" / "shop.mdb", shopStatements());
    const std::string before = fileBytes(path);
    std::filesystem::permissions(dir / "ro", std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    if (!platform::Env::system().info((dir / "ro").string()).readOnly) {
        std::filesystem::permissions(dir / "ro", std::filesystem::perms::owner_all);
        GTEST_SKIP() << "skipped: this system has no read-only folders";
    }
    const JetError e = errorOf([&] { runConvert(path.string(), kFixedPassword, false); });
    std::filesystem::permissions(dir / "ro", std::filesystem::perms::owner_all);
    EXPECT_EQ(3051, e.Number) << e.Description;
    EXPECT_EQ(before, fileBytes(path));
    EXPECT_FALSE(std::filesystem::exists(MakeScriptPath(path.string())));
}

TEST(DamagedPage, ConvertStopsWith3049NamingTheTableAndPage) {
    TempDir dir;
    auto path = buildDb(dir / "shop.mdb", shopStatements());
    const uint32_t page = zeroPage(path, firstDataPage(path, "Orders"));
    const JetError e = errorOf([&] { runConvert(path.string(), kFixedPassword, false); });
    EXPECT_EQ(3049, e.Number);
    EXPECT_NE(std::string::npos, e.Description.find("table 'Orders': page " + std::to_string(page))) << e.Description;
    // No end marker: the run did not finish.
    const std::string script = fileBytes(MakeScriptPath(path.string()));
    EXPECT_EQ(std::string::npos, script.find("End Of File"));
}

TEST(DamagedPage, DumpScriptAndRecordsetsReport3049InsteadOfSkippingRows) {
    TempDir dir;
    auto path = buildDb(dir / "shop.mdb", shopStatements());
    const uint32_t page = zeroPage(path, firstDataPage(path, "Customers"));
    const std::string where = "table 'Customers': page " + std::to_string(page);

    // dump and script fail with Jet's number, naming the table and the page.
    std::FILE* sink = std::tmpfile();
    testing::internal::CaptureStderr();
    EXPECT_EQ(1, runDump(path.string(), kFixedPassword, sink));
    std::string said = testing::internal::GetCapturedStderr();
    std::fclose(sink);
    EXPECT_NE(std::string::npos, said.find("Error Number [3049]")) << said;
    EXPECT_NE(std::string::npos, said.find(where)) << said;

    testing::internal::CaptureStderr();
    EXPECT_EQ(1, runScript(path.string(), kFixedPassword, (dir / "out.tdb").string(), {}));
    said = testing::internal::GetCapturedStderr();
    EXPECT_NE(std::string::npos, said.find("Error Number [3049]")) << said;
    EXPECT_NE(std::string::npos, said.find(where)) << said;
    EXPECT_EQ(std::string::npos, fileBytes(dir / "out.tdb").find("End Of File"));

    JetError e = errorOf([&] { columnValues(DBEngine::Default().OpenDatabase(path.string(), false, true, ";pwd=bluefinchtea"), "Customers", "ID"); });
    EXPECT_EQ(3049, e.Number);
    // The other table is still read.
    EXPECT_EQ(4u, columnValues(DBEngine::Default().OpenDatabase(path.string(), false, true, ";pwd=bluefinchtea"), "Orders", "OrderID").size());
}

TEST(DamagedPage, AnotherTablesPageInTheMapIsDamageToo) {
    TempDir dir;
    auto path = buildDb(dir / "shop.mdb", shopStatements());
    // Customers' first page overwritten with Orders' first page: a data page, but not of Customers.
    const uint32_t theirs = firstDataPage(path, "Orders"), ours = firstDataPage(path, "Customers");
    std::string bytes = fileBytes(path);
    bytes.replace(size_t(ours) * 4096, 4096, bytes.substr(size_t(theirs) * 4096, 4096));
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(bytes.data(), std::streamsize(bytes.size()));
    const JetError e = errorOf([&] {
        columnValues(DBEngine::Default().OpenDatabase(path.string(), false, true, ";pwd=bluefinchtea"), "Customers", "ID");
    });
    EXPECT_EQ(3049, e.Number);
    EXPECT_NE(std::string::npos, e.Description.find("table 'Customers': page " + std::to_string(ours))) << e.Description;
}
