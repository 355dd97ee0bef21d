#include "update_batch.h"

#include <set>

#include "properties.h"
#include "update_pass.h"
#include "update_plan.h"
#include "write_exec.h"

namespace vantrel::jet {

bool concernsFile(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const FormatError&) {
        return true;
    } catch (const JetError& e) {
        return e.concernsFile();
    } catch (...) {
        return true;
    }
}

namespace {

// Conditions (1) and (2) of the header, checked as statements join the run.
class SharedScan {
public:
    explicit SharedScan(const TableDefData& t) : t_(t) {}
    // Adds the plan when the run still meets both with it. The first
    // statement of a run always joins: it sees the table before the run, as
    // it would alone.
    bool join(const UpdatePlan& p) {
        if (any_ && p.rules->refersToItself()) return false;
        std::vector<size_t> uniques;
        for (size_t real : p.indexes) {
            const bool unique = t_.uniqueIndex(real);
            if (unique && assigned_.count(real)) return false;
            if (unique) uniques.push_back(real);
        }
        assigned_.insert(uniques.begin(), uniques.end());
        any_ = true;
        return true;
    }

private:
    const TableDefData& t_;
    std::set<size_t> assigned_;  // unique real indexes a statement of the run assigns
    bool any_ = false;
};

// Scans run again after failures before the batch gives up on one scan.
constexpr int kMaxScans = 8;

}  // namespace

UpdateBatchResult executeUpdateBatch(PageFile& file, const std::vector<CatalogEntry>& catalog, std::vector<UpdateStatement> statements,
                                     WriterSet& writers, double today) {
    const size_t n = statements.size();
    UpdateBatchResult out;
    out.reports.resize(n);
    out.errors.resize(n);
    if (n == 0) return out;
    for (const auto& st : statements)
        if (upperAscii(st.table) != upperAscii(statements.front().table)) {
            out.onePass = false;
            return out;
        }
    auto stop = [&](size_t at, std::exception_ptr e) {
        out.errors[at] = std::move(e);
        out.stoppedAt = at;
        out.reports.resize(at + 1);
        out.errors.resize(at + 1);
        return out;
    };

    // The table: what fails here fails every statement the same way.
    std::optional<UpdateTable> table;
    try {
        table = openUpdateTable(file, catalog, statements.front().table);
    } catch (...) {
        auto e = std::current_exception();
        if (concernsFile(e)) return stop(0, e);
        for (auto& x : out.errors) x = e;
        out.handled = n;
        return out;
    }

    // Planned in order while the run can share one scan; the statement that
    // cannot join it starts the next run.
    std::vector<std::optional<UpdatePlan>> plans;
    SharedScan shared(table->t);
    size_t m = 0;
    for (; m < n; ++m) {
        try {
            UpdatePlan p = planUpdate(file, catalog, *table, std::move(statements[m]));
            if (!shared.join(p)) break;
            plans.emplace_back(std::move(p));
        } catch (...) {
            auto e = std::current_exception();
            if (concernsFile(e)) return stop(m, e);
            out.errors[m] = e;
            plans.emplace_back();
        }
    }
    out.handled = m;
    out.reports.resize(m);
    out.errors.resize(m);
    std::vector<bool> failedInScan(m, false);
    for (int scans = 0;; ++scans) {
        std::vector<size_t> active;
        std::vector<const UpdatePlan*> run;
        for (size_t i = 0; i < m; ++i)
            if (plans[i] && !failedInScan[i]) {
                active.push_back(i);
                run.push_back(&*plans[i]);
            }
        if (run.empty()) return out;  // no statement reads a row
        try {
            std::vector<UpdateReport> reports = runUpdatePass(file, writers.writer(*table->entry), *table, run, today);
            for (size_t k = 0; k < active.size(); ++k) out.reports[active[k]] = std::move(reports[k]);
            return out;
        } catch (const StatementFailure& f) {
            const size_t i = active[f.statement];
            if (concernsFile(f.error)) return stop(i, f.error);
            file.abort();
            writers.clear();  // they knew the pages just undone
            if (scans + 1 >= kMaxScans) {
                out = UpdateBatchResult{};
                out.onePass = false;
                return out;
            }
            // The later statements ran beside this one: their failures are to be found again.
            for (size_t k = i + 1; k < m; ++k)
                if (failedInScan[k]) {
                    failedInScan[k] = false;
                    out.errors[k] = nullptr;
                }
            failedInScan[i] = true;
            out.errors[i] = f.error;
        } catch (...) {
            // Outside any statement: the scan itself, writing a row or an index.
            auto e = std::current_exception();
            if (concernsFile(e)) return stop(active.empty() ? 0 : active.front(), e);
            file.abort();
            writers.clear();  // they knew the pages just undone
            out = UpdateBatchResult{};
            out.onePass = false;
            return out;
        }
    }
}

}  // namespace vantrel::jet
