#include "qt_dialogs.h"

#include <QFileDialog>
#include <QFontMetrics>
#include <QGridLayout>
#include <QMessageBox>
#include <QSpacerItem>

namespace vantrel {

std::string QtFileOpenDialog::ShowOpen(const std::string& title, const std::string& filter) {
    return QFileDialog::getOpenFileName(parent_, QString::fromStdString(title), QString(), QString::fromStdString(filter))
        .toStdString();
}

int MessageBoxMinimumWidth(const QWidget& box) {
    // The caption, plus the title bar's icon and its three buttons, each
    // about two lines of text wide.
    const QFontMetrics m(box.font());
    return m.horizontalAdvance(box.windowTitle()) + 8 * m.height() + 24;
}

void QtMessageBoxes::Show(const std::string& text) {
    QMessageBox box(QMessageBox::NoIcon, "Vantrel", QString(), QMessageBox::Ok, parent_);
    // Shown exactly: a table named "<b>T</b>" is not bold, two blanks stay two.
    box.setTextFormat(Qt::PlainText);
    box.setText(QString::fromStdString(text));
    box.setWindowModality(Qt::ApplicationModal);
    // QMessageBox sizes itself to its text; a short text would cut the caption.
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout()))
        grid->addItem(new QSpacerItem(MessageBoxMinimumWidth(box), 0, QSizePolicy::Minimum, QSizePolicy::Fixed),
                      grid->rowCount(), 0, 1, grid->columnCount());
    box.exec();
}

}  // namespace vantrel
