#include "frm_main.h"

#include <QApplication>
#include <QFont>
#include <QKeyEvent>
#include <QStyleOptionButton>
#include <QStylePainter>

namespace vantrel {

namespace {
QFont windowFont(bool bold = false) {
    QFont f("Arial");
    f.setPointSizeF(8.25);
    f.setWeight(bold ? QFont::Bold : QFont::Normal);
    f.setItalic(false);
    f.setUnderline(false);
    f.setStrikeOut(false);
    return f;
}
}  // namespace

bool EnterClicks::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        auto* button = qobject_cast<QPushButton*>(watched);
        if (button && button->isEnabled() && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
            (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
            button->animateClick();
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

void WrappingButton::paintEvent(QPaintEvent*) {
    QStylePainter p(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    option.text.clear();
    p.drawControl(QStyle::CE_PushButton, option);
    p.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
    p.drawText(rect().adjusted(4, 2, -4, -2), Qt::AlignCenter | Qt::TextWordWrap, text());
}

frmMain::frmMain(FileOpenDialog& dialog, MessageBoxes& boxes, DBEngine& engine, QWidget* parent) : QWidget(parent) {
    setObjectName("frmMain");
    setWindowTitle("Vantrel");
    setFont(windowFont());
    setFixedSize(472, 198);  // 7080 x 2970 twips

    // In tab order; positions in pixels (15 twips each) from the client area's corner.
    Text1 = new QLineEdit(this);
    Text1->setObjectName("Text1");
    Text1->setGeometry(8, 24, 377, 25);
    Text1->setFont(windowFont(true));

    cmdConvert = new QPushButton(QString::fromUtf8("執行"), this);
    cmdConvert->setObjectName("cmdConvert");
    cmdConvert->setGeometry(392, 72, 73, 25);
    cmdConvert->setEnabled(false);

    Label1 = new QLabel("Please select a DB to convert to local.", this);
    Label1->setObjectName("Label1");
    Label1->setGeometry(8, 8, 313, 17);
    Label1->setFocusPolicy(Qt::NoFocus);

    cmdBrowse = new QPushButton("&Select DB...", this);
    cmdBrowse->setObjectName("cmdBrowse");
    cmdBrowse->setGeometry(392, 24, 73, 25);

    List1 = new QListWidget(this);
    List1->setObjectName("List1");
    List1->setGeometry(8, 72, 377, 116);
    List1->setSelectionMode(QAbstractItemView::SingleSelection);
    List1->setSortingEnabled(false);
    // A border the list draws as filled rectangles: the style's own frame line
    // lands under the list's viewport at 125 % and 150 % and the bottom edge is lost.
    List1->setStyleSheet("QListWidget#List1 { border: 1px solid palette(dark); background: palette(base); }");

    Label2 = new QLabel("Tables to Convert", this);
    Label2->setObjectName("Label2");
    Label2->setGeometry(8, 56, 177, 17);
    Label2->setFocusPolicy(Qt::NoFocus);

    cmdCopyEmul = new WrappingButton("Copy to  Emulator", this);
    cmdCopyEmul->setObjectName("cmdCopyEmul");
    cmdCopyEmul->setGeometry(392, 136, 73, 41);
    cmdCopyEmul->setEnabled(false);

    for (QPushButton* b : {cmdConvert, cmdBrowse, cmdCopyEmul}) {
        b->setFocusPolicy(Qt::StrongFocus);
        b->setAutoDefault(false);
        b->installEventFilter(&enterClicks_);  // Enter presses the focused button, as Space does
    }
    setTabOrder(Text1, cmdConvert);
    setTabOrder(cmdConvert, cmdBrowse);
    setTabOrder(cmdBrowse, List1);
    setTabOrder(List1, cmdCopyEmul);

    actions_ = std::make_unique<MainActions>(*this, dialog, boxes, engine);
    connect(cmdBrowse, &QPushButton::clicked, this, [this] { actions_->cmdBrowse_Click(); });
    connect(cmdConvert, &QPushButton::clicked, this, [this] { actions_->cmdConvert_Click(); });
    connect(cmdCopyEmul, &QPushButton::clicked, this, [this] { actions_->cmdCopyEmul_Click(); });
}

std::string frmMain::GetText1() const { return Text1->text().toStdString(); }
void frmMain::SetText1(const std::string& text) { Text1->setText(QString::fromStdString(text)); }
void frmMain::ClearList1() { List1->clear(); }
void frmMain::AddToList1(const std::string& item) { List1->addItem(QString::fromStdString(item)); }

void frmMain::SetMousePointer(int pointer) {
    if (pointer == 11) setCursor(Qt::WaitCursor);
    else unsetCursor();
    // The action runs on this thread: let the pointer show before the work.
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

}  // namespace vantrel
