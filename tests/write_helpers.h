// Helpers for tests that change databases: copies, byte comparison, and the
// index walk that must pass after every write.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "catalog.h"
#include "corpus.h"
#include "dao.h"
#include "index_check.h"
#include "page_file.h"
#include "table_def.h"

namespace vantrel::test {

inline std::string fileBytes(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// Every index of every table agrees with the rows: the list of problems.
inline std::vector<std::string> indexProblems(const std::filesystem::path& db) {
    jet::PageFile file(db.string(), {});
    std::vector<std::string> out;
    for (const auto& e : jet::readTableCatalog(file)) {
        if (!e.local()) continue;
        for (const auto& p : jet::checkIndexes(file, jet::readTableDef(file, e.tdefPage))) out.push_back(e.name + ": " + p);
    }
    return out;
}

inline Database openWritable(const std::filesystem::path& db, const DBEngine& engine = DBEngine::Default()) {
    return engine.OpenDatabase(db.string(), false, false, ";pwd=bluefinchtea");
}

// The values of one column, in storage order.
inline std::vector<Variant> columnValues(const Database& db, const std::string& table, const std::string& column) {
    std::vector<Variant> out;
    Recordset rs = db.OpenRecordset(table);
    while (!rs.EOF_()) {
        out.push_back(rs.Fields().Item(column).Value());
        rs.MoveNext();
    }
    return out;
}

inline long jetErrorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const JetError& e) {
        return e.Number;
    }
    return 0;
}

}  // namespace vantrel::test

#define EXPECT_INDEXES_CONSISTENT(db)                                   \
    do {                                                                \
        auto problems_ = ::vantrel::test::indexProblems(db);            \
        EXPECT_TRUE(problems_.empty()) << problems_.front();            \
    } while (0)
