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

class QtMessageBoxes : public MessageBoxes {
public:
    explicit QtMessageBoxes(QWidget*& parent) : parent_(parent) {}
    void Show(const std::string& text) override;

private:
    QWidget*& parent_;
};

}  // namespace vantrel
