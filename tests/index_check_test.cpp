// The index check finds what is wrong between a table's rows and its
// indexes: entry bytes that disagree with the row, an entry for a row that
// is gone, a row with no entry; and it reads every row again rather than
// holding the table in memory, so a table of any size can be checked.
#include <gtest/gtest.h>

#include <algorithm>

#include "built_db.h"
#include "data_page.h"
#include "row_layout.h"
#include "table_scan.h"
#include "write_helpers.h"

using namespace vantrel;
using namespace vantrel::test;

namespace {

std::filesystem::path keyedDb(const TempDir& dir) {
    std::vector<std::string> sql = {"CREATE TABLE K (ID LONG PRIMARY KEY, V LONG, W SHORT)", "CREATE INDEX V ON K (V)",
                                    "CREATE INDEX W ON K (W) WITH IGNORE NULL"};
    for (int i = 1; i <= 300; ++i)
        sql.push_back("INSERT INTO K (ID, V" + std::string(i % 3 ? ", W" : "") + ") VALUES (" + std::to_string(i) + ", " +
                      std::to_string(1000 - i) + (i % 3 ? ", " + std::to_string(i % 7) : "") + ")");
    Database db = DBEngine::Default().CreateDatabase((dir / "k.mdb").string(), std::string(dbLangGeneral) + ";pwd=bluefinchtea");
    db.BeginTrans();
    for (const auto& s : sql) db.Execute(s);
    db.CommitTrans();
    db.Close();
    return dir / "k.mdb";
}

// Changes the stored row with ID `id` of table K through `change(page bytes, row's slot, cracked row)`.
void changeRow(const std::filesystem::path& db, int id,
               const std::function<void(jet::PageBuf&, unsigned slot, size_t rowStart, size_t rowEnd, const jet::CrackedRow&)>& change) {
    jet::PageFile::Options opt;
    opt.writable = true;
    jet::PageFile file(db.string(), opt);
    const jet::Layout l = jet::Layout::forFormat(file.jet3());
    for (const auto& e : jet::readTableCatalog(file)) {
        if (e.name != "K") continue;
        const jet::TableDefData t = jet::readTableDef(file, e.tdefPage);
        jet::TableScan scan(file, t);
        jet::CrackedRow cr;
        while (scan.next()) {
            jet::crackRow(l, t, scan.row().bytes, cr);
            if (cr.columns[0].data.u32(0) != uint32_t(id)) continue;
            const jet::RowPointer at = scan.where();
            const size_t rowStart = size_t(scan.row().bytes.data() - scan.row().page->data());
            const size_t rowEnd = rowStart + scan.row().bytes.size();
            jet::PageBuf& page = file.modify(at.page);
            change(page, at.row, rowStart, rowEnd, cr);
            file.commit();
            return;
        }
    }
    FAIL() << "row " << id << " not found";
}

size_t countOf(const std::vector<std::string>& problems, const std::string& part) {
    return size_t(std::count_if(problems.begin(), problems.end(), [&](const std::string& p) { return p.find(part) != std::string::npos; }));
}

}  // namespace

TEST(IndexCheck, AConsistentTableHasNoProblems) {
    TempDir dir;
    EXPECT_TRUE(indexProblems(keyedDb(dir)).empty());
}

TEST(IndexCheck, ARowValueThatDisagreesWithItsEntryIsFound) {
    TempDir dir;
    auto db = keyedDb(dir);
    changeRow(db, 150, [](jet::PageBuf& page, unsigned, size_t rowStart, size_t, const jet::CrackedRow&) {
        // V, the second fixed column, after the column count (2 bytes) and ID (4).
        page[rowStart + 6] = uint8_t(page[rowStart + 6] + 1);  // V changes, its index entry does not
    });
    auto problems = indexProblems(db);
    EXPECT_EQ(1u, countOf(problems, "column V entry bytes differ from the row's value")) << ::testing::PrintToString(problems);
    EXPECT_EQ(1u, problems.size()) << ::testing::PrintToString(problems);
}

TEST(IndexCheck, EntriesOfADeletedRowAndRowsWithoutEntriesAreFound) {
    TempDir dir;
    auto db = keyedDb(dir);
    const jet::Layout l = jet::Layout::forFormat(false);
    changeRow(db, 7, [&](jet::PageBuf& page, unsigned slot, size_t, size_t, const jet::CrackedRow&) {
        page[l.dataSlotsAt + 2 * slot + 1] |= uint8_t(jet::kSlotDeleted >> 8);  // the row goes, its entries stay
    });
    auto problems = indexProblems(db);
    // Row 7 has a W (7 % 3 != 0): three indexes name it.
    EXPECT_EQ(3u, countOf(problems, "entry for a row that does not exist")) << ::testing::PrintToString(problems);
    EXPECT_EQ(3u, problems.size()) << ::testing::PrintToString(problems);
}

TEST(IndexCheck, ANullInTheRowButNotInTheEntryIsFound) {
    TempDir dir;
    auto db = keyedDb(dir);
    // Row 10's W (10 % 7 = 3) made Null through the row's null mask: its
    // last byte, one bit per column (W is the third), set when a value is there.
    changeRow(db, 10, [&](jet::PageBuf& page, unsigned, size_t, size_t rowEnd, const jet::CrackedRow&) {
        page[rowEnd - 1] = uint8_t(page[rowEnd - 1] & ~0x04);
    });
    auto problems = indexProblems(db);
    // Index W ignores Nulls: its entry is now both wrong and one too many.
    EXPECT_EQ(1u, countOf(problems, "column W is Null in the row but not in its entry")) << ::testing::PrintToString(problems);
    EXPECT_EQ(1u, countOf(problems, "has 1 entries")) << ::testing::PrintToString(problems);
    EXPECT_EQ(2u, problems.size()) << ::testing::PrintToString(problems);
}
