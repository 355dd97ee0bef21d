// Index pages and keys against what Access wrote: the untouched corpus files
// check clean, Jet3 pages with a shared prefix are read and written as Access
// does, and memo keys are those Access made.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>

#include "corpus.h"
#include "index_key.h"
#include "text_codec.h"
#include "index_walk.h"
#include "row_layout.h"
#include "table_scan.h"
#include "value_decode.h"
#include "write_helpers.h"

namespace vantrel::test {
namespace {

// The first `n` characters of UTF-8 text.
std::string firstChars(const std::string& s, size_t n) {
    size_t at = 0;
    for (size_t chars = 0; at < s.size() && chars < n; ++chars)
        do ++at;
        while (at < s.size() && (uint8_t(s[at]) & 0xC0) == 0x80);
    return s.substr(0, at);
}

std::vector<std::filesystem::path> corpusDatabases() {
    std::vector<std::filesystem::path> out;
    for (const auto& e : std::filesystem::directory_iterator(sharedDir() / "corpus"))
        if (e.path().extension() == ".mdb") out.push_back(e.path());
    std::sort(out.begin(), out.end());
    return out;
}

// The pages of `db` of one type, as raw bytes.
std::vector<std::string> pagesOfType(const std::filesystem::path& db, size_t pageSize, uint8_t type) {
    const std::string bytes = fileBytes(db);
    std::vector<std::string> out;
    for (size_t at = 0; at + pageSize <= bytes.size(); at += pageSize)
        if (uint8_t(bytes[at]) == type && bytes[at + 1] == 0x01) out.push_back(bytes.substr(at, pageSize));
    return out;
}

std::string run(const std::string& command) {
    std::string out;
    if (FILE* p = popen(command.c_str(), "r")) {
        char buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
        pclose(p);
    }
    return out;
}

}  // namespace

TEST(IndexCorpus, EveryUntouchedFileChecksClean) {
    if (!std::filesystem::exists(sharedDir() / "corpus")) GTEST_SKIP() << "skipped: the shared corpus is absent";
    int files = 0;
    for (const auto& db : corpusDatabases()) {
        auto problems = indexProblems(db);
        EXPECT_TRUE(problems.empty()) << db.filename() << ": " << problems.size() << " problems, first: " << problems.front();
        ++files;
    }
    EXPECT_GE(files, 60);
}

TEST(IndexCorpus, Jet3NodePagesKeepTheirPrefixInOneByte) {
    // Access 97 writes the prefix length as one byte and sets the byte after
    // it on node pages; read as two bytes that mark looked like 256 more.
    REQUIRE_CORPUS("ex-mdbtools-nwind97.mdb");
    const auto db = corpusFile("ex-mdbtools-nwind97.mdb");
    const auto nodes = pagesOfType(db, 2048, jet::kPageIndexNode);
    ASSERT_FALSE(nodes.empty());
    const jet::Layout l = jet::Layout::forFormat(true);
    for (const auto& page : nodes) {
        EXPECT_EQ(1, page[0x15]);
        jet::Bytes pb(reinterpret_cast<const uint8_t*>(page.data()), page.size());
        const size_t prefix = jet::indexPagePrefixLength(l, pb);
        auto entries = jet::indexPageEntries(l, pb);
        ASSERT_FALSE(entries.empty());
        for (const auto& e : entries) EXPECT_GE(e.bytes.size(), prefix + 4);
    }
    EXPECT_TRUE(indexProblems(db).empty());
}

namespace {

class Jet3IndexedUpdate : public ::testing::Test {
protected:
    void SetUp() override {
        REQUIRE_CORPUS("ex-mdbtools-nwind97.mdb");
        db_ = copyCorpus("ex-mdbtools-nwind97.mdb", dir_);
    }
    TempDir dir_;
    std::filesystem::path db_;
};

}  // namespace

TEST_F(Jet3IndexedUpdate, ChangedKeysLeaveEveryIndexConsistentAfterReopening) {
    // EmployeeID and OrderDate of Orders are indexed over several pages
    // whose nodes share a prefix; many entries move.
    {
        Database db = openWritable(db_);
        db.Execute("UPDATE Orders SET EmployeeID = 9 WHERE EmployeeID = 4");
        EXPECT_GT(db.RecordsAffected(), 100);
        db.Execute("UPDATE Orders SET OrderDate = #1999-01-01# WHERE OrderID < 10300");
        EXPECT_EQ(52, db.RecordsAffected());
        db.Close();
    }
    EXPECT_INDEXES_CONSISTENT(db_);

    Database check = DBEngine::Default().OpenDatabase(db_.string(), false, true);
    int nines = 0;
    for (const Variant& v : columnValues(check, "Orders", "EmployeeID")) {
        EXPECT_NE(4, v.asInt());
        nines += v.asInt() == 9;
    }
    EXPECT_GT(nines, 100);
    check.Close();

    // Pages the engine wrote carry Access's marks: one-byte prefix, node mark.
    for (const auto& page : pagesOfType(db_, 2048, jet::kPageIndexNode)) EXPECT_EQ(1, page[0x15]);
    for (const auto& page : pagesOfType(db_, 2048, jet::kPageIndexLeaf)) EXPECT_EQ(0, page[0x15]);

    // An independent reader sees the same rows.
    if (system("command -v mdb-export >/dev/null 2>&1") != 0) GTEST_SKIP() << "skipped: mdbtools is absent";
    // Rows end in "@@" and a line break; addresses hold line breaks of their own.
    const std::string csv = run("mdb-export -H -d '|' -R '@@\\n' '" + db_.string() + "' Orders");
    int rows = 0, nineRows = 0;
    size_t at = 0;
    while (at < csv.size()) {
        size_t end = csv.find("@@\n", at);
        if (end == std::string::npos) break;
        const std::string row = csv.substr(at, end - at);
        at = end + 3;
        ++rows;
        // OrderID|"CustomerID"|EmployeeID|...
        const size_t a = row.find('|'), b = row.find('|', a + 1);
        nineRows += row.substr(b + 1, row.find('|', b + 1) - b - 1) == "9";
    }
    EXPECT_EQ(830, rows);
    EXPECT_EQ(nines, nineRows);
}

TEST(MemoIndexKeys, KeysAreThoseAccessWroteForLongAccentedMemos) {
    // Table11 indexes a memo column; three values run past 900 characters
    // and Access keyed them by their first 255.
    REQUIRE_CORPUS("ex-jk-testIndexCodes-old.mdb");
    jet::PageFile file(corpusFile("ex-jk-testIndexCodes-old.mdb").string(), {});
    const jet::Layout l = jet::Layout::forFormat(file.jet3());
    for (const std::string name : {"Table11", "Table11_desc"}) {
        SCOPED_TRACE(name);
        jet::TableDefData t;
        for (const auto& e : jet::readTableCatalog(file))
            if (e.name == name) t = jet::readTableDef(file, e.tdefPage);
        ASSERT_FALSE(t.realIndexes.empty());
        std::map<uint64_t, Variant> data;
        jet::TableScan scan(file, t);
        jet::CrackedRow cracked;
        size_t dataColumn = 0;
        while (t.columns[dataColumn].name != "data") ++dataColumn;
        while (scan.next()) {
            jet::crackRow(l, t, scan.row().bytes, cracked);
            data[(uint64_t(scan.where().page) << 8) | scan.where().row] =
                jet::decodeValue(file, l, t.columns[dataColumn], cracked.columns[dataColumn]);
        }
        int compared = 0, long_ = 0;
        for (const auto& r : t.realIndexes) {
            auto cols = jet::keyColumns(t, r);
            if (cols.size() != 1 || cols[0].column->name != "data") continue;
            jet::walkIndex(file, l, r.rootPage, [&](jet::Bytes key, jet::RowPointer rp) {
                const Variant& v = data.at((uint64_t(rp.page) << 8) | rp.row);
                std::vector<uint8_t> mine;
                if (!jet::encodeSegment(cols[0], false, v, mine)) return;  // text the encoder refuses
                ++compared;
                EXPECT_EQ(std::vector<uint8_t>(key.data(), key.data() + key.size()), mine) << v.str().substr(0, 20);
                if (v.isNull() || jet::utf8ToUtf16(v.str()).size() <= 255) return;
                ++long_;
                // The key is that of the first 255 characters, not of 254 or 256.
                for (size_t n : {size_t(254), size_t(255), size_t(256)}) {
                    std::vector<uint8_t> part;
                    ASSERT_TRUE(jet::encodeSegment(cols[0], false, Variant::text(firstChars(v.str(), n)), part));
                    EXPECT_EQ(n == 255 || n == 256, part == mine) << n;
                }
            });
        }
        EXPECT_GE(compared, 12);
        EXPECT_EQ(3, long_);
    }
    EXPECT_TRUE(indexProblems(corpusFile("ex-jk-testIndexCodes-old.mdb")).empty());
}

}  // namespace vantrel::test
