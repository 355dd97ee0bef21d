// The real file-open dialog and message boxes.
#pragma once

#include <QWidget>

#include "main_view.h"

namespace vantrel {

class QtFileOpenDialog : public FileOpenDialog {
public:
    explicit QtFileOpenDialog(QWidget*& parent) : parent_(parent) {}
    std::string ShowOpen(const std::string& title, const std::string& filter) override;

private:
    QWidget*& parent_;
};

// The width a message box needs for its caption to show whole.
int MessageBoxMinimumWidth(const QWidget& box);

// Boxes with the text as plain text, exactly as given, never narrower than
// their caption needs.
class QtMessageBoxes : public MessageBoxes {
public:
    explicit QtMessageBoxes(QWidget*& parent) : parent_(parent) {}
    void Show(const std::string& text) override;

private:
    QWidget*& parent_;
};

}  // namespace vantrel
