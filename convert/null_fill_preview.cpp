#include "null_fill_preview.h"

#include <memory>

#include "scratch_env.h"
#include "user_tables.h"

namespace vantrel {

namespace {
// The messages the null-fill would show: its outcomes say the same.
class Silent : public MessageSink {
public:
    void Show(const std::string&) override {}
};
}  // namespace

FillPreview previewNullFill(const std::string& path, const std::string& password, const std::vector<std::string>& tables) {
    DBEngine engine;
    engine.SetEnv(std::make_shared<ScratchEnv>());
    Silent silent;
    Converter conv(silent);
    FillPreview preview;
    try {
        conv.dbSrc = engine.OpenDatabase(path, false, false, ";pwd=" + password);
        for (TableDef t : conv.dbSrc.TableDefs()) {
            if (!IsUserTable(t)) continue;
            bool chosen = tables.empty();
            for (const std::string& name : tables) chosen = chosen || name == t.Name();
            if (chosen) conv.CreateTblStr(t);
        }
    } catch (const JetError& e) {
        preview.failure = "Error Number [" + std::to_string(e.Number) + "] Error Description [" + e.Description + "]";
    }
    preview.outcomes = conv.outcomes();
    return preview;
}

}  // namespace vantrel
