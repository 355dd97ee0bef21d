#include "qt_dialogs.h"

#include <QFileDialog>
#include <QMessageBox>

namespace vantrel {

std::string QtFileOpenDialog::ShowOpen(const std::string& title, const std::string& filter) {
    return QFileDialog::getOpenFileName(parent_, QString::fromStdString(title), QString(), QString::fromStdString(filter))
        .toStdString();
}

void QtMessageBoxes::Show(const std::string& text) {
    QMessageBox box(QMessageBox::NoIcon, "Vantrel", QString::fromStdString(text), QMessageBox::Ok, parent_);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

}  // namespace vantrel
