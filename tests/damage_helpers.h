// Damage the tests do on purpose: a page of a table (data, long value, index
// or definition) overwritten with zeros.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>

#include "catalog.h"
#include "page_file.h"
#include "table_def.h"
#include "usage_map.h"

namespace vantrel::test {

// The first page `table`'s page map lists.
inline uint32_t firstDataPage(const std::filesystem::path& db, const std::string& table) {
    jet::PageFile file(db.string(), {});
    for (const auto& e : jet::readTableCatalog(file))
        if (e.name == table) {
            const jet::TableDefData t = jet::readTableDef(file, e.tdefPage);
            auto pages = jet::usageMapPages(file, jet::Layout::forFormat(file.jet3()), t.usedPagesPtr);
            if (!pages.empty()) return pages.front();
        }
    ADD_FAILURE() << "no data page for " << table;
    return 0;
}

// The definition of `table` (its page is `.page`).
inline jet::TableDefData tableDefOf(const std::filesystem::path& db, const std::string& table) {
    jet::PageFile file(db.string(), {});
    for (const auto& e : jet::readTableCatalog(file))
        if (e.name == table) return jet::readTableDef(file, e.tdefPage);
    ADD_FAILURE() << "no table " << table;
    return {};
}

// The first page holding `text` (as stored: one byte or two a character), 0 when none.
inline uint32_t pageHolding(const std::filesystem::path& db, const std::string& text) {
    jet::PageFile file(db.string(), {});
    std::string wide;
    for (char c : text) wide += std::string{c, '\0'};
    for (uint32_t n = 1; n < file.pageCount(); ++n) {
        const std::string bytes(file.page(n)->begin(), file.page(n)->end());
        if (bytes.find(wide) != std::string::npos || bytes.find(text) != std::string::npos) return n;
    }
    return 0;
}

// Overwrites page `n` (4096 bytes, Jet4) with zeros and returns n.
inline uint32_t zeroPage(const std::filesystem::path& db, uint32_t n) {
    std::fstream f(db, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(std::streamoff(n) * 4096);
    const std::string zeros(4096, '\0');
    f.write(zeros.data(), std::streamsize(zeros.size()));
    return n;
}

}  // namespace vantrel::test
