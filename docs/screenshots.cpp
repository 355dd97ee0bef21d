// Pictures of the window in its four states: Start, Database chosen,
// Converted and Copied. Run under a display (docs/screenshots.sh uses Xvfb):
//   vantrel_screenshots DATABASE OUTPUT_FOLDER
// The database is converted in place: pass a copy.
#include <QApplication>
#include <QPixmap>
#include <QTest>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "emulator_copy.h"
#include "frm_main.h"

namespace {
class Answer : public vantrel::FileOpenDialog {
public:
    explicit Answer(std::string path) : path_(std::move(path)) {}
    std::string ShowOpen(const std::string&, const std::string&) override { return path_; }

private:
    std::string path_;
};

class Quiet : public vantrel::MessageBoxes {
public:
    void Show(const std::string& text) override { std::printf("message: %s\n", text.c_str()); }
};

void shoot(QWidget& w, const std::string& file) {
    QTest::qWait(200);
    if (!w.grab().save(QString::fromStdString(file))) std::fprintf(stderr, "cannot write %s\n", file.c_str());
    else std::printf("wrote %s\n", file.c_str());
}
}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: vantrel_screenshots DATABASE OUTPUT_FOLDER\n");
        return 2;
    }
    // Absolute: the copy step moves the current directory to the root.
    const std::string out = std::filesystem::absolute(argv[2]).string();
    const auto wine = std::filesystem::temp_directory_path() / "vantrel-shots-wine";
    setenv("WINEPREFIX", wine.c_str(), 1);
    std::filesystem::create_directories(vantrel::EmulatorFolder());
    Answer dialog(argv[1]);
    Quiet boxes;
    vantrel::frmMain w(dialog, boxes, vantrel::DBEngine::Default());
    w.show();
    if (!QTest::qWaitForWindowExposed(&w)) return 1;
    shoot(w, out + "/state-1-start.png");
    w.cmdBrowse->click();
    shoot(w, out + "/state-2-database-chosen.png");
    w.cmdConvert->click();
    shoot(w, out + "/state-3-converted.png");
    w.cmdCopyEmul->click();
    shoot(w, out + "/state-4-copied.png");
    std::filesystem::remove_all(wine);
    return 0;
}
