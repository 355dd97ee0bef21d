#include "main_actions.h"

#include "emulator_copy.h"
#include "files.h"
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
    // Nothing the window keeps changes until the new database has opened and
    // listed: a failed selection leaves the path box, the list and ScriptPath
    // naming the previous database.
    std::string script;
    try {
        script = MakeScriptPath(P);
        RefuseOutputOverDatabase(script, P);  // its old script file would be the database itself
    } catch (const JetError& e) {
        Show(ErrorText(e.Number, e.Description));
        return;
    }
    try {
        conv_.wsSrc = engine_.CreateWorkspace("", "admin", "", dbUseJet);
        conv_.dbSrc = conv_.wsSrc.OpenDatabase(P, false, false, kConnect);
    } catch (const JetError& e) {
        if (e.Number > 0) Show(ErrorText(e.Number, e.Description));
        return;
    }
    // Listing can fail too (a damaged catalog): shown, and the buttons stay.
    std::vector<std::string> names;
    try {
        for (const TableDef& t : conv_.dbSrc.TableDefs())
            if (IsUserTable(t)) names.push_back(t.Name());
        conv_.dbSrc.Close();
        conv_.dbSrc = Database();
    } catch (const JetError& e) {
        conv_.dbSrc = Database();
        Show(ErrorText(e.Number, e.Description));
        return;
    }
    takeScriptPath(script);
    view_.SetText1(P);
    view_.ClearList1();
    for (const auto& n : names) view_.AddToList1(n);
    // A new database starts the cycle again: it is to be converted, and
    // nothing of it is there to copy yet (an earlier script file, whose copy
    // may have failed, belongs to the database that was shown before).
    view_.EnableConvert(true);
    view_.EnableCopyEmul(false);
}

void MainActions::takeScriptPath(const std::string& script) {
    conv_.ScriptPath = script;
    RemoveOldOutput(conv_.ScriptPath);  // a stale script from an earlier run, if a regular file; usually there is none
}

void MainActions::cmdConvert_Click() {
    const std::string path = view_.GetText1();
    if (path.empty()) {
        Show("Please use the browse button to select a Access Database to convert");
        return;
    }
    // The database in the path box is the one converted, and its own script
    // file the one written, even when the box was edited after a selection.
    std::string script;
    try {
        script = MakeScriptPath(path);
        RefuseOutputOverDatabase(script, path);
    } catch (const JetError& e) {
        Show(ErrorText(e.Number, e.Description));
        return;
    }
    view_.SetMousePointer(11);
    std::string finalPath = conv_.ScriptPath;
    try {
        conv_.dbSrc = engine_.OpenDatabase(path, false, false, kConnect);
        if (script != conv_.ScriptPath) takeScriptPath(script);
        finalPath = conv_.ScriptPath;
        // Written under a temporary name, given its own when the run ends.
        OutputFile out(finalPath, OutputFile::OnFailure::keepPartial);
        conv_.ScriptPath = out.writePath();
        conv_.MainSub(conv_.dbSrc);
        conv_.WriteString("End Of File");
        // Closed here, not kept: the file stays free for the next selection.
        conv_.dbSrc.Close();
        conv_.dbSrc = Database();
        conv_.ScriptPath = out.commit();
    } catch (const JetError& e) {
        conv_.ScriptPath = finalPath;
        conv_.dbSrc = Database();
        view_.SetMousePointer(0);
        Show(ErrorText(e.Number, e.Description));
        return;
    } catch (const InternalError& e) {
        // The run ends as for a file error, said as what it is.
        conv_.ScriptPath = finalPath;
        conv_.dbSrc = Database();
        view_.SetMousePointer(0);
        Show(std::string("internal fault: ") + e.what());
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
        if (!platform::ChangeToDriveRoot()) throw err::pathNotFound();
        const std::string name = ScriptNamePart(conv_.ScriptPath, platform::FolderSeparator());
        const std::string destination = EmulatorFolder() + name;
        CopyReplacing(conv_.ScriptPath, destination);
    } catch (const JetError& e) {
        view_.SetMousePointer(0);
        // The copy can be tried again, or another database chosen.
        view_.EnableBrowse(true);
        Show(ErrorText(e.Number, e.Description));
        return;
    }
    view_.SetMousePointer(0);
    view_.EnableBrowse(true);
    view_.EnableCopyEmul(false);
}

}  // namespace vantrel
