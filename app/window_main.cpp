// The window, as a module the vantrel executable loads only when it is
// started without arguments: the command-line work never loads Qt.
#include <QApplication>

#include "dao.h"
#include "frm_main.h"
#include "qt_dialogs.h"

extern "C" __attribute__((visibility("default"))) int vantrel_run_window(int argc, char** argv) {
    QApplication qt(argc, argv);
    QWidget* owner = nullptr;
    vantrel::QtFileOpenDialog dialog(owner);
    vantrel::QtMessageBoxes boxes(owner);
    vantrel::frmMain window(dialog, boxes, vantrel::DBEngine::Default());
    owner = &window;
    window.show();
    return qt.exec();
}
