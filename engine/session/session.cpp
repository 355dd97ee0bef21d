#include "session.h"

#include <ctime>

#include "damage_guard.h"
#include "ddl_exec.h"
#include "local_time.h"
#include "sql_parser.h"
#include "update_batch.h"

namespace vantrel::jet {

namespace {

// The table a statement names, as the catalog spells it and where it is
// defined, for the damage it meets.
struct Named {
    std::string name;
    std::optional<uint32_t> tdefPage;
};

Named tableOf(const std::string& named, const std::vector<CatalogEntry>& catalog) {
    for (const auto& e : catalog)
        if (upperAscii(e.name) == upperAscii(named)) return {e.name, e.tdefPage};
    return {named, std::nullopt};
}

Named tableOf(const Statement& st, const std::vector<CatalogEntry>& catalog) {
    return tableOf(std::visit([](const auto& s) { return s.table; }, st), catalog);
}

}  // namespace

double oleNow() {
    std::time_t t = std::time(nullptr);
    const std::tm tm = platform::LocalTime(t);
    return oleDay(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday) + (tm.tm_hour * 3600 + tm.tm_min * 60 + tm.tm_sec) / 86400.0;
}

Session::Session(std::string path, std::unique_ptr<PageFile> file) : path_(std::move(path)), file_(std::move(file)) {
    catalog_ = guarded(path_, [&] { return readTableCatalog(*file_); });
}

Session::~Session() = default;

WriterSet& Session::writers() {
    if (!writers_) writers_ = std::make_unique<WriterSet>(*file_);
    return *writers_;
}

void Session::reloadCatalog() {
    try {
        catalog_ = readTableCatalog(*file_);
    } catch (...) {
    }
}

void Session::commit() {
    guarded(path_, [&] {
        if (writers_) writers_->flush();
        file_->commit();
    });
    if (writers_) writers_->clear();
}

void Session::undo(bool report) {
    inTransaction_ = false;
    if (writers_) writers_->clear();
    try {
        file_->abort();
    } catch (...) {
        // A broken file refuses the reload too; the error that broke it is the one to report.
        try {
            reloadCatalog();
        } catch (...) {
        }
        if (report) throw;
        return;
    }
    reloadCatalog();
}

void Session::commitTransaction() {
    inTransaction_ = false;
    try {
        commit();
    } catch (...) {
        undo();
        throw;
    }
}

void Session::close() {
    // An open transaction ends undone, as in DAO.
    if (inTransaction_) undo();
    writers_.reset();
    file_.reset();
}

UpdateReport Session::execute(const std::string& sql) {
    Statement st = parseStatement(sql);
    if (!file_->writable()) throw err::readOnly();
    PageFile& file = *file_;
    WriterSet& w = writers();
    const double now = oleNow();
    try {
        const Named table = tableOf(st, catalog_);
        UpdateReport r = guarded(path_, table.name, table.tdefPage, [&]() -> UpdateReport {
            if (auto* ins = std::get_if<InsertStatement>(&st)) return executeInsert(catalog_, *ins, w, now);
            if (auto* del = std::get_if<DeleteStatement>(&st)) return executeDelete(file, catalog_, std::move(*del), w, now);
            if (auto* up = std::get_if<UpdateStatement>(&st)) {
                // The rules kept for new rows may hold keys this statement changes.
                w.forgetRules();
                return executeUpdate(file, catalog_, std::move(*up), w, now);
            }
            // The other statements read indexes and definitions from the pages: bring them up to date first.
            w.flush();
            w.clear();
            if (auto* ct = std::get_if<CreateTableStatement>(&st)) executeCreateTable(file, catalog_, *ct, now);
            if (auto* ci = std::get_if<CreateIndexStatement>(&st)) executeCreateIndex(file, catalog_, *ci);
            if (auto* sp = std::get_if<SetPropertyStatement>(&st)) executeSetProperty(file, catalog_, *sp);
            catalog_ = readTableCatalog(file);
            return UpdateReport{};
        });
        if (!inTransaction_) commit();
        return r;
    } catch (...) {
        undo();
        throw;
    }
}

std::vector<Session::Result> Session::executeEach(const std::vector<std::string>& sql) {
    std::vector<Result> out(sql.size());
    // A file error ends the batch at statement i.
    auto stopAt = [&](size_t i, std::exception_ptr e) {
        out[i].error = std::move(e);
        out.resize(i + 1);
        return out;
    };
    // Runs the statements at `indices` through execute(), in order.
    auto oneByOne = [&](const std::vector<size_t>& indices) {
        for (size_t i : indices) {
            try {
                out[i].report = execute(sql[i]);
            } catch (...) {
                auto e = std::current_exception();
                if (concernsFile(e)) return stopAt(i, e);
                out[i].error = e;
            }
        }
        return out;
    };
    std::vector<size_t> all(sql.size());
    for (size_t i = 0; i < sql.size(); ++i) all[i] = i;
    if (inTransaction_ || !file_->writable()) return oneByOne(all);

    // Parsed first; what does not parse fails on its own, as in execute().
    std::vector<size_t> which;  // the statements to run, all UPDATEs of one table
    std::string table;
    auto parsedUpdate = [&](size_t i) { return std::get<UpdateStatement>(parseStatement(sql[i])); };
    for (size_t i = 0; i < sql.size(); ++i) {
        Statement st;
        try {
            st = parseStatement(sql[i]);
        } catch (...) {
            out[i].error = std::current_exception();
            continue;
        }
        auto* up = std::get_if<UpdateStatement>(&st);
        if (!up || (!which.empty() && upperAscii(up->table) != table)) return oneByOne(all);
        if (which.empty()) table = upperAscii(up->table);
        which.push_back(i);
    }
    // Damage found below the session is Jet's 3049, as execute() reports it.
    auto asJet = [&](std::exception_ptr e) -> std::exception_ptr {
        try {
            std::rethrow_exception(e);
        } catch (const FormatError& f) {
            return std::make_exception_ptr(err::damaged(path_, f.what()));
        } catch (...) {
            return e;
        }
    };

    // Run after run of statements that can share a scan, each committed.
    PageFile& file = *file_;
    for (size_t from = 0; from < which.size();) {
        std::vector<UpdateStatement> rest;
        for (size_t k = from; k < which.size(); ++k) rest.push_back(parsedUpdate(which[k]));
        UpdateBatchResult r;
        try {
            const Named table = tableOf(rest.front().table, catalog_);
            r = guarded(path_, table.name, table.tdefPage, [&] {
                WriterSet& w = writers();
                w.forgetRules();
                return executeUpdateBatch(file, catalog_, std::move(rest), w, oleNow());
            });
        } catch (...) {
            // Undoing or flushing failed: the file, before the run's first statement.
            undo();
            return stopAt(which[from], std::current_exception());
        }
        if (!r.onePass) return oneByOne(std::vector<size_t>(which.begin() + long(from), which.end()));
        if (r.stoppedAt) {
            undo();
            for (size_t k = 0; k < *r.stoppedAt; ++k) out[which[from + k]].error = r.errors[k] ? asJet(r.errors[k]) : nullptr;
            return stopAt(which[from + *r.stoppedAt], asJet(r.errors[*r.stoppedAt]));
        }
        // A run that covered no statement would never end: the rest go one by one.
        if (r.handled == 0) return oneByOne(std::vector<size_t>(which.begin() + long(from), which.end()));
        try {
            commit();
        } catch (...) {
            undo();
            size_t first = 0;
            while (first + 1 < r.handled && r.errors[first]) ++first;
            for (size_t k = 0; k < first; ++k) out[which[from + k]].error = r.errors[k];
            return stopAt(which[from + first], std::current_exception());
        }
        for (size_t k = 0; k < r.handled; ++k) {
            Result& o = out[which[from + k]];
            if (r.errors[k]) o.error = asJet(r.errors[k]);
            else o.report = r.reports[k];
        }
        from += r.handled;
    }
    return out;
}

}  // namespace vantrel::jet
