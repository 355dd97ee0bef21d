// The Win32 window with the real actions and engine, under Wine, the dialogs
// replaced: select a database, convert it, copy its script into the
// emulator's folder, and see the buttons move through their cycle.
#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <fstream>

#include "built_db.h"
#include "corpus.h"
#include "emulator_copy.h"
#include "main_actions.h"
#include "win32_main_window.h"

using namespace vantrel;
using namespace vantrel::test;
namespace L = vantrel::layout;

namespace {

class AnswerDialog : public FileOpenDialog {
public:
    std::string ShowOpen(const std::string&, const std::string&) override { return answer; }
    std::string answer;
};

class KeepBoxes : public MessageBoxes {
public:
    void Show(const std::string& text) override { texts.push_back(text); }
    std::vector<std::string> texts;
};

std::string bytesOf(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

}  // namespace

TEST(Win32Cycle, SelectConvertCopyWithTheRealActions) {
    TempDir dir;
    const auto db = buildDb(dir / "projects.mdb", projectStatements());
    // The emulator's folder on this (Wine) system's C: drive.
    const std::filesystem::path folder = EmulatorFolder();
    std::filesystem::create_directories(folder);

    AnswerDialog dialog;
    KeepBoxes boxes;
    DBEngine engine;
    Win32MainWindow w(GetModuleHandleW(nullptr));
    MainActions actions(w, dialog, boxes, engine);
    w.SetHandlers({[&] { actions.cmdBrowse_Click(); }, [&] { actions.cmdConvert_Click(); },
                   [&] { actions.cmdCopyEmul_Click(); }});
    auto state = [&] {
        return std::string(w.BrowseEnabled() ? "B" : "-") + (w.ConvertEnabled() ? "C" : "-") + (w.CopyEmulEnabled() ? "E" : "-");
    };
    auto click = [&](L::Index button) { SendMessageW(w.control(button), BM_CLICK, 0, 0); };

    EXPECT_EQ("B--", state());
    dialog.answer = db.string();
    click(L::cmdBrowse);
    EXPECT_EQ("BC-", state());
    EXPECT_EQ(db.string(), w.GetText1());
    EXPECT_EQ(1, SendMessageW(w.control(L::List1), LB_GETCOUNT, 0, 0));

    click(L::cmdConvert);
    EXPECT_EQ("--E", state());
    ASSERT_FALSE(boxes.texts.empty());
    EXPECT_EQ("\xE5\xAE\x8C\xE6\x88\x90", boxes.texts.back());  // 完成
    EXPECT_EQ("End Of File\r\n", bytesOf(dir / "projects.tdb"));

    click(L::cmdCopyEmul);
    EXPECT_EQ("B--", state());
    EXPECT_EQ("End Of File\r\n", bytesOf(folder / "projects.tdb"));
    std::filesystem::remove(folder / "projects.tdb");
}
