// The window under Qt's offscreen platform, with fake dialogs: layout,
// captions, fonts, tab order, the button cycle, Alt+S and Enter, every
// action's steps and failures (ScriptPath in step with the path box), the
// real message boxes, borders at 125 % to 200 %, and a whole run from
// selection to the emulator folder.
#include <gtest/gtest.h>
#include <unistd.h>
#include <cstdlib>

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPixmap>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <fstream>

#include "corpus.h"
#include "emulator_copy.h"
#include "frm_main.h"
#include "qt_dialogs.h"
#include "built_db.h"
#include "write_helpers.h"

using namespace vantrel;
using namespace vantrel::test;

namespace {

class FakeDialog : public FileOpenDialog {
public:
    std::string ShowOpen(const std::string& title, const std::string& filter) override {
        ++shown;
        lastTitle = title;
        lastFilter = filter;
        return answer;
    }
    std::string answer;
    int shown = 0;
    std::string lastTitle, lastFilter;
};

class FakeBoxes : public MessageBoxes {
public:
    void Show(const std::string& text) override {
        texts.push_back(text);
        if (window) cursors.push_back(window->cursor().shape());
    }
    std::vector<std::string> texts;
    QWidget* window = nullptr;  // when set, the pointer shape at each message is kept
    std::vector<Qt::CursorShape> cursors;
};

// Alt+S as a user types it; the button's click follows its short press animation.
void altS(QWidget& w) {
    QTest::keyClick(w.windowHandle(), Qt::Key_S, Qt::AltModifier);
    QTest::qWait(250);
}

struct Window {
    FakeDialog dialog;
    FakeBoxes boxes;
    DBEngine engine;
    frmMain w{dialog, boxes, engine};
    std::string state() const {
        return std::string(w.cmdBrowse->isEnabled() ? "B" : "-") + (w.cmdConvert->isEnabled() ? "C" : "-") +
               (w.cmdCopyEmul->isEnabled() ? "E" : "-");
    }
};

std::string readAll(const std::filesystem::path& p) { return fileBytes(p); }

}  // namespace

TEST(Window, LayoutCaptionsAndFonts) {
    Window t;
    frmMain& w = t.w;
    EXPECT_EQ("Vantrel", w.windowTitle().toStdString());
    EXPECT_EQ(QSize(472, 198), w.size());
    struct Want {
        QWidget* widget;
        QRect rect;
    } wants[] = {{w.Text1, {8, 24, 377, 25}},      {w.cmdConvert, {392, 72, 73, 25}}, {w.Label1, {8, 8, 313, 17}},
                 {w.cmdBrowse, {392, 24, 73, 25}}, {w.List1, {8, 72, 377, 116}},      {w.Label2, {8, 56, 177, 17}},
                 {w.cmdCopyEmul, {392, 136, 73, 41}}};
    for (const auto& x : wants) EXPECT_EQ(x.rect, x.widget->geometry()) << x.widget->objectName().toStdString();
    EXPECT_EQ(QString::fromUtf8("執行"), w.cmdConvert->text());
    EXPECT_EQ("&Select DB...", w.cmdBrowse->text());
    EXPECT_EQ("Copy to  Emulator", w.cmdCopyEmul->text());
    EXPECT_EQ("Please select a DB to convert to local.", w.Label1->text());
    EXPECT_EQ("Tables to Convert", w.Label2->text());
    EXPECT_EQ("Arial", w.font().family());
    EXPECT_DOUBLE_EQ(8.25, w.font().pointSizeF());
    EXPECT_FALSE(w.font().bold());
    EXPECT_TRUE(w.Text1->font().bold());
    EXPECT_DOUBLE_EQ(8.25, w.Text1->font().pointSizeF());
    EXPECT_FALSE(w.List1->isSortingEnabled());
    // The controls keep their places whatever size the window gets.
    w.resize(800, 600);
    EXPECT_EQ(QRect(392, 136, 73, 41), w.cmdCopyEmul->geometry());
}

TEST(Window, TabOrderAtStartSkipsLabelsAndDisabledButtons) {
    Window t;
    t.w.show();
    t.w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&t.w));
    t.w.Text1->setFocus();
    std::vector<std::string> visited;
    for (int i = 0; i < 4; ++i) {
        visited.push_back(QApplication::focusWidget()->objectName().toStdString());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    EXPECT_EQ((std::vector<std::string>{"Text1", "cmdBrowse", "List1", "Text1"}), visited);
}

TEST(Window, ButtonCycleThroughAllStatesWithAltS) {
    TempDir dir;
    auto db = buildDb(dir / "projects.mdb", projectStatements());
    TempDir wine;
    setenv("WINEPREFIX", wine.path().c_str(), 1);
    std::filesystem::create_directories(std::filesystem::path(EmulatorFolder()));
    Window t;
    t.w.show();
    t.w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&t.w));
    EXPECT_EQ("B--", t.state());                    // Start
    QTest::mouseClick(t.w.cmdConvert, Qt::LeftButton);  // disabled: nothing happens
    EXPECT_TRUE(t.boxes.texts.empty());

    t.dialog.answer = db.string();
    altS(t.w);  // Alt+S clicks "Select DB..."
    EXPECT_EQ(1, t.dialog.shown);
    EXPECT_EQ("Pick an MDB", t.dialog.lastTitle);
    EXPECT_EQ("Database Files (*.mdb)", t.dialog.lastFilter);
    EXPECT_EQ("BC-", t.state());                     // Database chosen
    EXPECT_EQ(db.string(), t.w.Text1->text().toStdString());
    ASSERT_EQ(1, t.w.List1->count());
    EXPECT_EQ("Projects", t.w.List1->item(0)->text().toStdString());

    QTest::mouseClick(t.w.cmdConvert, Qt::LeftButton);
    EXPECT_EQ("--E", t.state());                     // Converted
    ASSERT_FALSE(t.boxes.texts.empty());
    EXPECT_EQ("完成", t.boxes.texts.back());
    altS(t.w);  // disabled now
    EXPECT_EQ(1, t.dialog.shown);

    QTest::mouseClick(t.w.cmdCopyEmul, Qt::LeftButton);
    EXPECT_EQ("B--", t.state());                     // Copied
    EXPECT_EQ("End Of File\r\n", readAll(EmulatorFolder() + "projects.tdb"));
    EXPECT_EQ(t.w.cursor().shape(), Qt::ArrowCursor);

    altS(t.w);  // a new selection from the Copied state
    EXPECT_EQ("BC-", t.state());
    unsetenv("WINEPREFIX");
}

TEST(Actions, SelectionFailuresAreShownAndChangeNothing) {
    Window t;
    TempDir dir;
    t.dialog.answer = "";
    t.w.actions().cmdBrowse_Click();  // cancelled
    EXPECT_TRUE(t.boxes.texts.empty());
    EXPECT_EQ("", t.w.actions().state().ScriptPath);

    std::ofstream(dir / "old.tdb") << "stale";
    t.dialog.answer = (dir / "old.mdb").string();  // no such database
    t.w.actions().cmdBrowse_Click();
    ASSERT_EQ(1u, t.boxes.texts.size());
    EXPECT_EQ("Error Number [3024]\r\nError Description [Could not find file '" + (dir / "old.mdb").string() + "'.]",
              t.boxes.texts[0]);
    EXPECT_EQ("stale", readAll(dir / "old.tdb"));  // deleted only once a database has opened
    EXPECT_EQ("", t.w.actions().state().ScriptPath);
    EXPECT_EQ("B--", t.state());
    EXPECT_EQ("", t.w.Text1->text().toStdString());

    // A database with some other password.
    t.dialog.answer = buildDb(dir / "locked.mdb", projectStatements(), "password").string();
    t.w.actions().cmdBrowse_Click();
    EXPECT_EQ("Error Number [3031]\r\nError Description [Not a valid password.]", t.boxes.texts.back());
    EXPECT_EQ("B--", t.state());

    // A database named data.tdb would be its own script file: refused before
    // anything is deleted, and it stays whole.
    const auto own = dir / "data.tdb";
    std::filesystem::copy_file(buildDb(dir / "data.mdb", projectStatements()), own);
    const std::string before = readAll(own);
    t.dialog.answer = own.string();
    t.w.actions().cmdBrowse_Click();
    EXPECT_EQ(0u, t.boxes.texts.back().rfind("Error Number [75]\r\nError Description [", 0)) << t.boxes.texts.back();
    EXPECT_EQ(before, readAll(own));
    EXPECT_EQ("B--", t.state());
}

TEST(Actions, ConvertFailuresAndTheEmptyPathBox) {
    Window t;
    t.w.actions().cmdConvert_Click();
    ASSERT_EQ(1u, t.boxes.texts.size());
    EXPECT_EQ("Please use the browse button to select a Access Database to convert", t.boxes.texts[0]);

    TempDir dir;
    auto db = buildDb(dir / "projects.mdb", projectStatements());
    t.dialog.answer = db.string();
    t.w.actions().cmdBrowse_Click();
    ASSERT_EQ("BC-", t.state());
    Database other = openWritable(db);  // someone else holds the file
    t.w.actions().cmdConvert_Click();
    EXPECT_EQ("Error Number [3045]\r\nError Description [Could not use '" + db.string() + "'; file already in use.]",
              t.boxes.texts.back());
    EXPECT_EQ("BC-", t.state());  // try again later
    EXPECT_EQ(Qt::ArrowCursor, t.w.cursor().shape());
    other.Close();
    // An unwritable script file: the run fails before the end marker.
    std::filesystem::create_directory(t.w.actions().state().ScriptPath);
    t.w.actions().cmdConvert_Click();
    EXPECT_EQ(0u, t.boxes.texts.back().find("Error Number [75]"));
    EXPECT_EQ("BC-", t.state());
}

TEST(Actions, ConvertStopsAtAFullDiskWithTheErrorAndNoEndMarker) {
    Window t;
    TempDir dir;
    auto db = buildDb(dir / "projects.mdb", projectStatements());
    t.dialog.answer = db.string();
    t.w.actions().cmdBrowse_Click();
    ASSERT_EQ("BC-", t.state());
    t.engine.SetWriteHook([](uint32_t) { throw JetError(3043, "Disk or network error. (No space left on device)"); });
    t.w.actions().cmdConvert_Click();
    // One message, the two-line error: no per-column "skipped" message and no "完成".
    ASSERT_EQ(1u, t.boxes.texts.size());
    EXPECT_EQ("Error Number [3043]\r\nError Description [Disk or network error. (No space left on device)]", t.boxes.texts[0]);
    EXPECT_EQ("BC-", t.state());
    EXPECT_EQ(std::string::npos, readAll(t.w.actions().state().ScriptPath).find("End Of File"));
}

TEST(Actions, CopyFailureKeepsTheCopyButtonAndEnablesSelect) {
    Window t;
    TempDir wine;
    setenv("WINEPREFIX", wine.path().c_str(), 1);  // no emulator folder in it
    TempDir dir;
    t.w.actions().state().ScriptPath = (dir / "a.tdb").string();
    std::ofstream(dir / "a.tdb") << "End Of File\r\n";
    t.w.EnableBrowse(false);
    t.w.EnableCopyEmul(true);
    char cwd[4096];
    ASSERT_TRUE(getcwd(cwd, sizeof cwd));
    t.w.actions().cmdCopyEmul_Click();
    EXPECT_EQ("Error Number [76]\r\nError Description [Path not found]", t.boxes.texts.back());
    EXPECT_EQ("B-E", t.state());  // try the copy again, or choose another database
    EXPECT_EQ(Qt::ArrowCursor, t.w.cursor().shape());
    char now[4096];
    ASSERT_TRUE(getcwd(now, sizeof now));
    EXPECT_EQ("/", std::string(now));  // the current directory went to the root first
    ASSERT_EQ(0, chdir(cwd));
    unsetenv("WINEPREFIX");
}

TEST(EmulatorCopy, NamePartFollowsTheAlgorithm) {
    EXPECT_EQ("shop.tdb", ScriptNamePart("C:\\data\\shop.tdb", '\\'));
    EXPECT_EQ("shop.tdb", ScriptNamePart("C:\\shop.tdb", '\\'));
    EXPECT_EQ("shop.tdb", ScriptNamePart("\\\\server\\share\\db\\shop.tdb", '\\'));
    EXPECT_EQ("Old.tdb", ScriptNamePart("D:\\x\\Old.tdb", '\\'));
    EXPECT_EQ("D:\\x\\Old.TDB", ScriptNamePart("D:\\x\\Old.TDB", '\\'));  // case-sensitive: no ".tdb"
    EXPECT_EQ("shop.tdb", ScriptNamePart("/home/u/shop.tdb", '/'));
    EXPECT_EQ("資料.tdb", ScriptNamePart("/srv/資料.tdb", '/'));
    EXPECT_EQ("a.tdb.tdb", ScriptNamePart("/x/a.tdb.tdb", '/'));  // the first ".tdb" counts
    EXPECT_EQ(6, jetErrorOf([] { ScriptNamePart("/" + std::string(33000, 'a') + ".tdb", '/'); }));
    TempDir home;
    setenv("WINEPREFIX", "/opt/wine", 1);
    EXPECT_EQ("/opt/wine/drive_c/Windows CE Tools/wce300/MS Pocket PC/emulation/palm300/My Documents/", EmulatorFolder());
    unsetenv("WINEPREFIX");
    setenv("HOME", home.path().c_str(), 1);
    EXPECT_EQ(home.path().string() + "/.wine/drive_c/Windows CE Tools/wce300/MS Pocket PC/emulation/palm300/My Documents/",
              EmulatorFolder());
}

TEST(EmulatorCopy, ReplacesAnExistingFileAndLeavesNoPartialFile) {
    TempDir dir;
    std::ofstream(dir / "src.tdb") << "new\r\n";
    std::ofstream(dir / "dst.tdb") << "old old old\r\n";
    CopyReplacing((dir / "src.tdb").string(), (dir / "dst.tdb").string());
    EXPECT_EQ("new\r\n", readAll(dir / "dst.tdb"));
    EXPECT_EQ(53, jetErrorOf([&] { CopyReplacing((dir / "none.tdb").string(), (dir / "x.tdb").string()); }));
    EXPECT_EQ(76, jetErrorOf([&] { CopyReplacing((dir / "src.tdb").string(), (dir / "no" / "x.tdb").string()); }));
    for (const auto& e : std::filesystem::directory_iterator(dir.path()))
        EXPECT_EQ(std::string::npos, e.path().string().find(".copying"));
}

TEST(EndToEnd, SelectConvertCopyOnARealDatabase) {
    REQUIRE_CORPUS("nw-lordkarnak.mdb");
    TempDir dir, wine;
    auto db = copyCorpus("nw-lordkarnak.mdb", dir);
    setenv("WINEPREFIX", wine.path().c_str(), 1);
    std::filesystem::create_directories(std::filesystem::path(EmulatorFolder()));
    std::ofstream(EmulatorFolder() + "nw-lordkarnak.tdb") << "an older copy";
    Window t;
    t.boxes.window = &t.w;
    t.dialog.answer = db.string();
    t.w.cmdBrowse->click();
    t.w.cmdConvert->click();
    t.w.cmdCopyEmul->click();
    // The hourglass while the pass runs; the plain pointer again for "完成".
    ASSERT_EQ(t.boxes.texts.size(), t.boxes.cursors.size());
    for (size_t i = 0; i + 1 < t.boxes.cursors.size(); ++i) EXPECT_EQ(Qt::WaitCursor, t.boxes.cursors[i]);
    EXPECT_EQ(Qt::ArrowCursor, t.boxes.cursors.back());
    // The messages, in order, then "完成".
    std::ifstream in(corpusFile("nw-lordkarnak.messages.txt"));
    std::vector<std::string> want;
    for (std::string line; std::getline(in, line);) want.push_back(line);
    want.push_back("完成");
    EXPECT_EQ(want, t.boxes.texts);
    const std::string script = readAll(EmulatorFolder() + "nw-lordkarnak.tdb");
    EXPECT_EQ("End Of File\r\n", script);
    EXPECT_EQ("B--", t.state());
    // The database's Nulls are filled where Jet allows it.
    Database check = DBEngine::Default().OpenDatabase(db.string(), false, true);
    for (const Variant& v : columnValues(check, "Employees", "ReportsTo")) EXPECT_FALSE(v.isNull());
    check.Close();
    EXPECT_INDEXES_CONSISTENT(db);
    unsetenv("WINEPREFIX");
}


// ScriptPath and the path box stay in step: a failed selection changes
// neither, and the run works on the database the box shows.
TEST(Actions, FailedSecondSelectionKeepsTheFirstDatabase) {
    TempDir dir;
    auto first = buildDb(dir / "first.mdb", projectStatements());
    auto locked = buildDb(dir / "locked.mdb", projectStatements(), "password");
    std::ofstream(dir / "locked.tdb") << "stale";
    Window t;
    t.dialog.answer = first.string();
    t.w.actions().cmdBrowse_Click();
    ASSERT_EQ("BC-", t.state());
    t.dialog.answer = locked.string();
    t.w.actions().cmdBrowse_Click();
    EXPECT_EQ("Error Number [3031]\r\nError Description [Not a valid password.]", t.boxes.texts.back());
    EXPECT_EQ(first.string(), t.w.Text1->text().toStdString());
    EXPECT_EQ((dir / "first.tdb").string(), t.w.actions().state().ScriptPath);
    EXPECT_EQ(1, t.w.List1->count());
    EXPECT_EQ("stale", readAll(dir / "locked.tdb"));
    EXPECT_EQ("BC-", t.state());

    t.w.actions().cmdConvert_Click();
    EXPECT_EQ("完成", t.boxes.texts.back());
    EXPECT_EQ("End Of File\r\n", readAll(dir / "first.tdb"));
    EXPECT_EQ("stale", readAll(dir / "locked.tdb"));
    Database check = DBEngine::Default().OpenDatabase(first.string(), false, true, kConnect);
    for (const Variant& v : columnValues(check, "Projects", "Title")) EXPECT_FALSE(v.isNull());
    check.Close();
}

TEST(Actions, AnEditedPathBoxIsTheDatabaseConvertedAndCopied) {
    TempDir dir, wine;
    auto chosen = buildDb(dir / "chosen.mdb", projectStatements());
    auto typed = buildDb(dir / "typed.mdb", projectStatements());
    std::ofstream(dir / "typed.tdb") << "stale";
    setenv("WINEPREFIX", wine.path().c_str(), 1);
    std::filesystem::create_directories(std::filesystem::path(EmulatorFolder()));
    Window t;
    t.dialog.answer = chosen.string();
    t.w.actions().cmdBrowse_Click();
    t.w.Text1->setText(QString::fromStdString(typed.string()));  // edited after the selection
    t.w.actions().cmdConvert_Click();
    EXPECT_EQ("完成", t.boxes.texts.back());
    EXPECT_EQ((dir / "typed.tdb").string(), t.w.actions().state().ScriptPath);
    EXPECT_EQ("End Of File\r\n", readAll(dir / "typed.tdb"));  // its own script, the stale one gone
    EXPECT_FALSE(std::filesystem::exists(dir / "chosen.tdb"));
    Database a = DBEngine::Default().OpenDatabase(typed.string(), false, true, kConnect);
    for (const Variant& v : columnValues(a, "Projects", "Title")) EXPECT_FALSE(v.isNull());
    a.Close();
    Database b = DBEngine::Default().OpenDatabase(chosen.string(), false, true, kConnect);
    auto titles = columnValues(b, "Projects", "Title");
    EXPECT_TRUE(std::any_of(titles.begin(), titles.end(), [](const Variant& v) { return v.isNull(); }));
    b.Close();
    t.w.actions().cmdCopyEmul_Click();
    EXPECT_EQ("End Of File\r\n", readAll(EmulatorFolder() + "typed.tdb"));
    EXPECT_FALSE(std::filesystem::exists(EmulatorFolder() + "chosen.tdb"));
    unsetenv("WINEPREFIX");
}

TEST(Actions, AnEditedPathBoxThatCannotOpenChangesNothing) {
    TempDir dir;
    auto chosen = buildDb(dir / "chosen.mdb", projectStatements());
    Window t;
    t.dialog.answer = chosen.string();
    t.w.actions().cmdBrowse_Click();
    t.w.Text1->setText(QString::fromStdString((dir / "missing.mdb").string()));
    t.w.actions().cmdConvert_Click();
    EXPECT_EQ(0u, t.boxes.texts.back().find("Error Number [3024]"));
    EXPECT_EQ((dir / "chosen.tdb").string(), t.w.actions().state().ScriptPath);
    EXPECT_FALSE(std::filesystem::exists(dir / "missing.tdb"));
    EXPECT_EQ("BC-", t.state());
}

// A Wine prefix with no emulator folder, so that a copy fails; the current
// folder (the copy goes to the root first) and the environment come back
// when the test ends, however it ends.
struct NoEmulatorFolder {
    NoEmulatorFolder() {
        setenv("WINEPREFIX", wine.path().c_str(), 1);
        if (!getcwd(cwd, sizeof cwd)) cwd[0] = 0;
    }
    ~NoEmulatorFolder() {
        unsetenv("WINEPREFIX");
        if (cwd[0] && chdir(cwd) != 0) std::abort();
    }
    TempDir wine;
    char cwd[4096];
};

// Through the real window: a copy that fails leaves the user able to go on.
TEST(Window, AfterAFailedCopySelectIsEnabled) {
    TempDir dir;
    auto db = buildDb(dir / "shop.mdb", projectStatements());
    NoEmulatorFolder noFolder;
    Window t;
    t.w.show();
    t.dialog.answer = db.string();
    t.w.cmdBrowse->click();
    t.w.cmdConvert->click();
    t.w.cmdCopyEmul->click();
    EXPECT_EQ("Error Number [76]\r\nError Description [Path not found]", t.boxes.texts.back());
    EXPECT_EQ("B-E", t.state());
    std::filesystem::create_directories(std::filesystem::path(EmulatorFolder()));
    t.w.cmdCopyEmul->click();  // the copy again, now that the folder is there
    EXPECT_EQ("B--", t.state());
    EXPECT_EQ("End Of File\r\n", readAll(EmulatorFolder() + "shop.tdb"));
}

// After a failed copy, another database starts the cycle again: nothing of
// it is converted, so there is nothing to copy.
TEST(Window, AfterAFailedCopyANewSelectionCanOnlyBeConverted) {
    TempDir dir;
    auto first = buildDb(dir / "first.mdb", projectStatements());
    auto second = buildDb(dir / "second.mdb", projectStatements());
    NoEmulatorFolder noFolder;
    Window t;
    t.w.show();
    t.dialog.answer = first.string();
    t.w.cmdBrowse->click();
    t.w.cmdConvert->click();
    t.w.cmdCopyEmul->click();
    ASSERT_EQ("B-E", t.state());
    t.dialog.answer = second.string();
    t.w.cmdBrowse->click();
    EXPECT_EQ(second.string(), t.w.Text1->text().toStdString());
    EXPECT_EQ("BC-", t.state());
    t.w.cmdConvert->click();
    EXPECT_EQ("--E", t.state());
    EXPECT_EQ("End Of File\r\n", readAll(dir / "second.tdb"));
}

TEST(Window, EnterPressesTheFocusedButton) {
    Window t;
    t.w.show();
    t.w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&t.w));
    t.w.cmdBrowse->setFocus();
    QTest::keyClick(t.w.cmdBrowse, Qt::Key_Return);
    QTest::qWait(250);
    EXPECT_EQ(1, t.dialog.shown);
    QTest::keyClick(t.w.cmdBrowse, Qt::Key_Enter, Qt::KeypadModifier);
    QTest::qWait(250);
    EXPECT_EQ(2, t.dialog.shown);
    QTest::keyClick(t.w.cmdBrowse, Qt::Key_Return, Qt::ControlModifier);  // not a plain Enter
    QTest::qWait(250);
    EXPECT_EQ(2, t.dialog.shown);
}

namespace {
struct SeenBox {
    QString text, label;
    Qt::TextFormat format;
    int width, captionNeeds;
};
}  // namespace

// The real message boxes: markup-like table names and double blanks arrive
// as they are, and each box is wide enough for its caption.
TEST(Window, MessageBoxesShowTheirTextExactly) {
    TempDir dir;
    auto db = buildDb(dir / "marks.mdb", {"CREATE TABLE [<b>T</b>] (X LONG, Y TEXT(10))",
                                          "INSERT INTO [<b>T</b>] (X) VALUES (1)"});
    FakeDialog dialog;
    QWidget* owner = nullptr;
    QtMessageBoxes boxes(owner);
    DBEngine engine;
    frmMain w(dialog, boxes, engine);
    owner = &w;
    w.show();
    std::vector<SeenBox> seen;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible()) return;
        auto* label = box->findChild<QLabel*>("qt_msgbox_label");
        seen.push_back({box->text(), label ? label->text() : QString(), label ? label->textFormat() : Qt::RichText,
                        box->width(), MessageBoxMinimumWidth(*box)});
        box->accept();
    });
    timer.start(20);
    dialog.answer = db.string();
    w.cmdBrowse->click();
    ASSERT_EQ(1, w.List1->count());
    EXPECT_EQ("<b>T</b>", w.List1->item(0)->text().toStdString());
    w.cmdConvert->click();
    timer.stop();
    ASSERT_GE(seen.size(), 2u);
    const QString want = QString::fromUtf8("<b>T</b>表單的 X欄位  錯誤略過");
    EXPECT_EQ(want, seen[0].text);
    EXPECT_EQ(want, seen[0].label);
    EXPECT_EQ(Qt::PlainText, seen[0].format);
    EXPECT_EQ(QString::fromUtf8("完成"), seen.back().text);
    for (const SeenBox& b : seen) EXPECT_GE(b.width, b.captionNeeds) << b.text.toStdString();
    EXPECT_GT(seen.back().width, 102);
}

// At 100 %, 125 %, 150 % and 200 % every framed control keeps all four
// edges: near each edge, inside the control, there is a border pixel.
TEST(Window, NoControlLosesABorderWhenScaled) {
    Window t;
    t.w.show();
    for (double r : {1.0, 1.25, 1.5, 2.0}) {
        QPixmap pm((QSizeF(t.w.size()) * r).toSize());
        pm.setDevicePixelRatio(r);
        t.w.render(&pm);
        const QImage img = pm.toImage();
        for (QWidget* c : {(QWidget*)t.w.Text1, (QWidget*)t.w.List1, (QWidget*)t.w.cmdBrowse}) {
            const QRect g = c->geometry();
            const int left = int(g.left() * r), top = int(g.top() * r);
            const int right = int((g.right() + 1) * r) - 1, bottom = int((g.bottom() + 1) * r) - 1;
            const int midX = (left + right) / 2, midY = (top + bottom) / 2;
            const int depth = int(std::ceil(r)) + 1;
            auto darkest = [&](int x0, int y0, int dx, int dy) {
                int least = 255;
                for (int i = 0; i <= depth; ++i) least = std::min(least, qGray(img.pixel(x0 + i * dx, y0 + i * dy)));
                return least;
            };
            const std::string where = c->objectName().toStdString() + " at " + std::to_string(r);
            EXPECT_LT(darkest(midX, bottom, 0, -1), 200) << where << " bottom";
            EXPECT_LT(darkest(midX, top, 0, 1), 200) << where << " top";
            EXPECT_LT(darkest(left, midY, 1, 0), 200) << where << " left";
            EXPECT_LT(darkest(right, midY, -1, 0), 200) << where << " right";
        }
    }
}

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

TEST(Window, TheTableListHoldsOnlyUserTables) {
    TempDir dir;
    auto db = buildDb(dir / "u.mdb", systemLookingStatements());
    Window t;
    t.dialog.answer = db.string();
    QTest::mouseClick(t.w.cmdBrowse, Qt::LeftButton);
    std::vector<std::string> listed;
    for (int i = 0; i < t.w.List1->count(); ++i) listed.push_back(t.w.List1->item(i)->text().toStdString());
    EXPECT_EQ(kUserTablesOfSystemLooking, listed);
}
