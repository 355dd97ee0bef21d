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

    // Pages the engine wrote are shaped as Access writes them: a node mark
    // after the one-byte prefix, and each node's last child behind its tail
    // pointer rather than an entry.
    const jet::Layout l = jet::Layout::forFormat(true);
    for (const auto& page : pagesOfType(db_, 2048, jet::kPageIndexNode)) {
        EXPECT_EQ(1, page[0x15]);
        jet::Bytes pb(reinterpret_cast<const uint8_t*>(page.data()), page.size());
        const uint32_t tail = pb.u32(l.indexTailAt);
        EXPECT_NE(0u, tail);
        const auto entries = jet::indexPageEntries(l, pb);
        EXPECT_FALSE(entries.empty());
        for (const auto& e : entries) EXPECT_NE(tail, jet::Bytes(e.bytes.data(), e.bytes.size()).be32(e.bytes.size() - 4));
    }
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

TEST_F(Jet3IndexedUpdate, TextKeysWithoutAccentsAreWrittenAndAccentedOnesRefused) {
    {
        Database db = openWritable(db_);
        // City and CompanyName of Customers are indexed text.
        db.Execute("UPDATE Customers SET City = 'Frankfurt a.M. ', CompanyName = 'Die Wandernde Kuh 2' WHERE Country = 'Germany'");
        EXPECT_EQ(11, db.RecordsAffected());
        db.Close();
    }
    EXPECT_INDEXES_CONSISTENT(db_);
    const std::string changed = fileBytes(db_);
    {
        // The accents' part of a Jet3 key is not known: refused, nothing written.
        Database db = openWritable(db_);
        EXPECT_EQ(3251, jetErrorOf([&] { db.Execute("UPDATE Customers SET City = 'M\xC3\xBCnchen' WHERE Country = 'Germany'"); }));
        db.Close();
    }
    EXPECT_EQ(changed, fileBytes(db_));

    if (system("command -v mdb-export >/dev/null 2>&1") != 0) GTEST_SKIP() << "skipped: mdbtools is absent";
    const std::string csv = run("mdb-export -H -d '|' -R '@@\\n' '" + db_.string() + "' Customers");
    size_t frankfurt = 0;
    for (size_t at = 0; (at = csv.find("\"Die Wandernde Kuh 2\"", at)) != std::string::npos; ++at) ++frankfurt;
    EXPECT_EQ(11u, frankfurt);
}

TEST(Jet3TextKeys, KeysLongerThanTheOneBytePrefixShareAtMost255Bytes) {
    // 150 ß and a digit: keys of 302 bytes whose first 300 are the same on
    // every page. A Jet3 page keeps the prefix its entries share in one
    // byte, so no page may take more than 255 bytes of it.
    REQUIRE_CORPUS("jk-V1997-testIndexCodesV1997.mdb");
    TempDir dir;
    const auto db = copyCorpus("jk-V1997-testIndexCodesV1997.mdb", dir);
    std::string esszets;
    for (int i = 0; i < 150; ++i) esszets += "\xC3\x9F";
    {
        Database w = openWritable(db);
        // Table14: rows row0 .. row255; data TEXT(255) is indexed.
        w.Execute("UPDATE Table14 SET data = '" + esszets + "'");
        EXPECT_EQ(256, w.RecordsAffected());
        for (char digit = '0'; digit <= '9'; ++digit) {
            w.Execute("UPDATE Table14 SET data = '" + esszets + digit + "' WHERE name LIKE 'row" + digit + "*'");
            EXPECT_GT(w.RecordsAffected(), 0) << digit;
        }
        w.Close();
    }
    EXPECT_INDEXES_CONSISTENT(db);
    const jet::Layout l = jet::Layout::forFormat(true);
    size_t longest = 0;
    for (uint8_t type : {jet::kPageIndexNode, jet::kPageIndexLeaf})
        for (const auto& page : pagesOfType(db, 2048, type)) {
            jet::Bytes pb(reinterpret_cast<const uint8_t*>(page.data()), page.size());
            longest = std::max(longest, jet::indexPagePrefixLength(l, pb));
        }
    EXPECT_EQ(255u, longest);  // the longest a page can say, and said
    Database check = DBEngine::Default().OpenDatabase(db.string(), false, true);
    for (const Variant& v : columnValues(check, "Table14", "data")) EXPECT_EQ(esszets, firstChars(v.str(), 150));
}

TEST(Jet3TextKeys, EveryKeyAccessWroteThatTheEncoderTakesIsTheSame) {
    // Every Jet3 file of the corpus: whole entries built from the rows equal
    // the entries on disk wherever the encoder accepts the text; each byte
    // 0x01-0xFF between two letters is among them (testIndexCodesV1997).
    if (!std::filesystem::exists(sharedDir() / "corpus")) GTEST_SKIP() << "skipped: the shared corpus is absent";
    long textKeys = 0, equal = 0;
    for (const auto& db : corpusDatabases()) {
        jet::PageFile file(db.string(), {});
        if (!file.jet3()) continue;
        const jet::Layout l = jet::Layout::forFormat(true);
        for (const auto& e : jet::readTableCatalog(file)) {
            if (!e.local()) continue;
            const jet::TableDefData t = jet::readTableDef(file, e.tdefPage);
            std::map<uint64_t, std::vector<Variant>> rows;
            jet::TableScan scan(file, t);
            jet::CrackedRow cracked;
            while (scan.next()) {
                jet::crackRow(l, t, scan.row().bytes, cracked);
                auto& values = rows[(uint64_t(scan.where().page) << 8) | scan.where().row];
                for (size_t i = 0; i < t.columns.size(); ++i) values.push_back(jet::decodeValue(file, l, t.columns[i], cracked.columns[i]));
            }
            for (const auto& r : t.realIndexes) {
                const auto cols = jet::keyColumns(t, r);
                jet::walkIndex(file, l, r.rootPage, [&](jet::Bytes key, jet::RowPointer rp) {
                    const auto& values = rows.at((uint64_t(rp.page) << 8) | rp.row);
                    std::vector<uint8_t> mine;
                    bool text = false, known = true;
                    for (const auto& kc : cols) {
                        const Variant& v = values[size_t(kc.column - t.columns.data())];
                        text |= v.type() == VarType::Text && !v.str().empty();
                        known = known && jet::encodeSegment(kc, true, v, mine);
                    }
                    if (!text || !known) return;
                    ++textKeys;
                    equal += std::equal(mine.begin(), mine.end(), key.data(), key.data() + key.size());
                });
            }
        }
    }
    EXPECT_GT(textKeys, 5000);
    EXPECT_EQ(textKeys, equal);
}

TEST(Jet3TextKeys, WhatTheEncoderDoesNotKnowItRefuses) {
    jet::ColumnDef c;
    c.type = jet::kText;
    c.sortOrder = 1033;
    c.codePage = 1252;
    const jet::KeyColumn asc{&c, true}, desc{&c, false};
    auto key = [](const jet::KeyColumn& k, const std::string& s) {
        std::vector<uint8_t> out;
        return jet::encodeSegment(k, true, Variant::text(s), out) ? out : std::vector<uint8_t>{0xEE};
    };
    // Case-blind codes, trailing blanks dropped; descending turns every byte.
    EXPECT_EQ((std::vector<uint8_t>{0x7F, 0x60, 0x61, 0x00}), key(asc, "Ab  "));
    EXPECT_EQ(key(asc, "AB"), key(asc, "ab"));
    EXPECT_EQ((std::vector<uint8_t>{0x80, 0x9F, 0x9E, 0xFF}), key(desc, "ab"));
    EXPECT_EQ((std::vector<uint8_t>{0x7F, 0x00}), key(asc, ""));
    // Accented letters, characters past code page 1252's Latin-1 part, a
    // trailing tab, more than 255 characters, another code page: refused.
    for (const std::string& s : std::vector<std::string>{"\xC3\x81", "a\xE2\x82\xAC", "a\t", "a\xC2\xA0", std::string(256, 'a')})
        EXPECT_EQ(std::vector<uint8_t>{0xEE}, key(asc, s)) << s.size();
    EXPECT_EQ(257u, key(asc, std::string(255, 'a')).size());
    c.codePage = 936;
    EXPECT_EQ(std::vector<uint8_t>{0xEE}, key(asc, "ab"));
    EXPECT_EQ((std::vector<uint8_t>{0x7F, 0x00}), key(asc, ""));
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
