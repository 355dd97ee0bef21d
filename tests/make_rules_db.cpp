// Makes the rules database (rules_db.h) at the given path and runs INSERTs
// into its tables that Jet lets in and ones it refuses; prints one line per
// statement, "affected" or "refused REASON", for the readers' test.
// usage: vantrel_make_rules_db PATH
#include <iostream>

#include "dao.h"
#include "rules_db.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: vantrel_make_rules_db PATH\n";
        return 2;
    }
    try {
        const auto path = vantrel::test::buildRulesDb(argv[1]);
        vantrel::Database db = vantrel::DBEngine::Default().OpenDatabase(path.string(), false, false, ";pwd=bluefinchtea");
        for (const char* sql : {
                 "INSERT INTO Orders VALUES (3, 'ALFKI', 'C3', 'third', 'r3', 4, 40, 4)",
                 "INSERT INTO Orders VALUES (4, 'NOONE', 'C4', 'fourth', 'r4', 4, 40, 4)",
                 "INSERT INTO Orders VALUES (5, 'BOLID', 'C5', '', 'r5', 4, 40, 4)",
                 "INSERT INTO Orders VALUES (6, 'BOLID', 'C6', 'sixth', 'r6', 0, 40, 4)",
                 "INSERT INTO Orders VALUES (7, Null, 'C7', 'seventh', 'r7', Null, 10, Null)",
                 "INSERT INTO Orders VALUES (8, 'BOLID', 'C8', 'eighth', 'r8', 1, 10, 11)",
                 "INSERT INTO Lines (OrderID) VALUES (1)",
                 "INSERT INTO Lines (OrderID, Qty, Unit, Gift) VALUES (3, 2, 'kg', False)",
                 "INSERT INTO Lines (OrderID) VALUES (99)",
                 "INSERT INTO Lines (OrderID, Qty) VALUES (2, 0)",
             }) {
            db.Execute(sql);
            const auto& r = db.LastUpdate();
            std::cout << (r.affected ? "affected" : "refused " + (r.refused.empty() ? std::string("?") : r.refused.begin()->first)) << "\n";
        }
        db.Close();
    } catch (const vantrel::JetError& e) {
        std::cerr << e.Number << ": " << e.Description << "\n";
        return 1;
    } catch (const std::exception& e) {
        std::cerr << e.what() << "\n";
        return 1;
    }
    return 0;
}
