// The main window: its controls, their places, captions, fonts and tab order.
// It only wires the buttons to the actions.
#pragma once

#include <QListWidget>
#include <QLineEdit>
#include <QLabel>
#include <QPushButton>
#include <QWidget>

#include <memory>

#include "main_actions.h"
#include "main_view.h"

namespace vantrel {

// A command button whose caption wraps onto several lines, as the device
// tools' buttons do when they are taller than one line.
class WrappingButton : public QPushButton {
public:
    using QPushButton::QPushButton;

protected:
    void paintEvent(QPaintEvent*) override;
};

// Enter (or the keypad's Enter) on a focused button clicks it, as on Windows.
class EnterClicks : public QObject {
protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

class frmMain : public QWidget, public MainView {
public:
    frmMain(FileOpenDialog& dialog, MessageBoxes& boxes, DBEngine& engine, QWidget* parent = nullptr);

    QLineEdit* Text1;
    QPushButton* cmdConvert;
    QLabel* Label1;
    QPushButton* cmdBrowse;
    QListWidget* List1;
    QLabel* Label2;
    QPushButton* cmdCopyEmul;

    MainActions& actions() { return *actions_; }

    // MainView
    std::string GetText1() const override;
    void SetText1(const std::string& text) override;
    void ClearList1() override;
    void AddToList1(const std::string& item) override;
    void EnableBrowse(bool on) override { cmdBrowse->setEnabled(on); }
    void EnableConvert(bool on) override { cmdConvert->setEnabled(on); }
    void EnableCopyEmul(bool on) override { cmdCopyEmul->setEnabled(on); }
    bool BrowseEnabled() const override { return cmdBrowse->isEnabled(); }
    bool ConvertEnabled() const override { return cmdConvert->isEnabled(); }
    bool CopyEmulEnabled() const override { return cmdCopyEmul->isEnabled(); }
    void SetMousePointer(int pointer) override;

private:
    EnterClicks enterClicks_;
    std::unique_ptr<MainActions> actions_;
};

}  // namespace vantrel
