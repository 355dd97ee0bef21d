// The window's three actions: choose a database, convert it, copy the script
// file to the emulator. They own the state the window keeps for its life.
//
// Invariants: ScriptPath is always the script path of the database the path
// box names once a selection or a run has succeeded; a failed selection
// changes neither. A failed copy leaves both select and copy enabled; a
// successful selection enables convert and disables copy, whatever came
// before it.
#pragma once

#include <string>

#include "converter.h"
#include "main_view.h"

namespace vantrel {

constexpr const char* kConnect = ";pwd=bluefinchtea";
constexpr const char* kDialogTitle = "Pick an MDB";
constexpr const char* kDialogFilter = "Database Files (*.mdb)";

class MainActions : private MessageSink {
public:
    MainActions(MainView& view, FileOpenDialog& dialog, MessageBoxes& boxes, DBEngine& engine);

    void cmdBrowse_Click();
    void cmdConvert_Click();
    void cmdCopyEmul_Click();

    Converter& state() { return conv_; }

    // The two-line form a failure is shown in.
    static std::string ErrorText(long number, const std::string& description);

private:
    void Show(const std::string& text) override { boxes_.Show(text); }
    // ScriptPath becomes `script`, and the file of that name is deleted.
    void takeScriptPath(const std::string& script);

    MainView& view_;
    FileOpenDialog& dialog_;
    MessageBoxes& boxes_;
    DBEngine& engine_;
    Converter conv_;
};

}  // namespace vantrel
