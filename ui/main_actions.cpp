#include "main_actions.h"

#include <unistd.h>

#include <cstdio>

#include "emulator_copy.h"
#include "output_file.h"
#include "user_tables.h"

namespace vantrel {

MainActions::MainActions(MainView& view, FileOpenDialog& dialog, MessageBoxes& boxes, DBEngine& engine)
    : view_(view), dialog_(dialog), boxes_(boxes), engine_(engine), conv_(*this) {}

std::string MainActions::ErrorText(long number, const std::string& description) {
    return "Error Number [" + std::to_string(number) + "]\r\nError Description [" + description + "]";
}

void MainActions::cmdBrowse_Click() {
    const std::string P = dialog_.ShowOpen(kDialogTitle, kDialogFilter);
    if (P.empty()) return;
    try {
        conv_.ScriptPath = MakeScriptPath(P);
    } catch (const JetError& e) {
        Show(ErrorText(e.Number, e.Description));
        return;
    }
    RemoveOldOutput(conv_.ScriptPath);  // usually there is none; only a regular file goes; any failure is ignored
    try {
        conv_.wsSrc = engine_.CreateWorkspace("", "admin", "", dbUseJet);
        conv_.dbSrc = conv_.wsSrc.OpenDatabase(P, false, false, kConnect);
    } catch (const JetError& e) {
        if (e.Number > 0) Show(ErrorText(e.Number, e.Description));
        return;
    }
    // Listing can fail too (a damaged catalog): shown, and the buttons stay.
    try {
        std::vector<std::string> names;
        for (const TableDef& t : conv_.dbSrc.TableDefs())
            if (IsUserTable(t)) names.push_back(t.Name());
        view_.SetText1(P);
        view_.ClearList1();
        for (const auto& n : names) view_.AddToList1(n);
        conv_.dbSrc.Close();
        conv_.dbSrc = Database();
        view_.EnableConvert(true);
    } catch (const JetError& e) {
        conv_.dbSrc = Database();
        Show(ErrorText(e.Number, e.Description));
    }
}

void MainActions::cmdConvert_Click() {
    const std::string path = view_.GetText1();
    if (path.empty()) {
        Show("Please use the browse button to select a Access Database to convert");
        return;
    }
    view_.SetMousePointer(11);
    const std::string scriptPath = conv_.ScriptPath;
    try {
        // Written under a temporary name, given its own when the run ends.
        OutputFile script(scriptPath, OutputFile::OnFailure::keepPartial);
        conv_.ScriptPath = script.writePath();
        conv_.dbSrc = engine_.OpenDatabase(path, false, false, kConnect);
        conv_.MainSub(conv_.dbSrc);
        conv_.WriteString("End Of File");
        // Closed here, not kept: the file stays free for the next selection.
        conv_.dbSrc.Close();
        conv_.dbSrc = Database();
        conv_.ScriptPath = script.commit();
    } catch (const JetError& e) {
        conv_.ScriptPath = scriptPath;
        conv_.dbSrc = Database();
        view_.SetMousePointer(0);
        Show(ErrorText(e.Number, e.Description));
        return;
    }
    view_.SetMousePointer(0);
    view_.EnableBrowse(false);
    view_.EnableConvert(false);
    view_.EnableCopyEmul(true);
    Show("完成");
}

void MainActions::cmdCopyEmul_Click() {
    view_.SetMousePointer(11);
    try {
        if (::chdir("/") != 0) throw JetError(76, "Path not found");
        const std::string name = ScriptNamePart(conv_.ScriptPath, '/');
        const std::string destination = EmulatorFolder() + name;
        CopyReplacing(conv_.ScriptPath, destination);
    } catch (const JetError& e) {
        view_.SetMousePointer(0);
        Show(ErrorText(e.Number, e.Description));
        return;
    }
    view_.SetMousePointer(0);
    view_.EnableBrowse(true);
    view_.EnableCopyEmul(false);
}

}  // namespace vantrel
