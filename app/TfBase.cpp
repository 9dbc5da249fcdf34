#include "app/TfBase.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QScreen>
#include <QWidget>

namespace abd {

class TfBase::KeyPreview : public QObject {
public:
    explicit KeyPreview(TfBase& base) : base_(base) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
        // A key the focused control leaves unused travels on to its parents: handle it once, at the control.
        if (event->type() == QEvent::KeyPress && watched == QApplication::focusWidget() &&
            base_.PreviewKey(static_cast<QWidget*>(watched), *static_cast<QKeyEvent*>(event)))
            return true;
        return QObject::eventFilter(watched, event); // the key still reaches its control
    }

private:
    TfBase& base_;
};

TfBase::TfBase(QWidget* window) : pmBase(new QMenu(window)), window_(window) {
    window->setAttribute(Qt::WA_AlwaysShowToolTips, true);
    QFont font(QStringLiteral("Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(9);
    window->setFont(font);
}

TfBase::~TfBase() = default;

void CenterOnScreen(QWidget* window) {
    const QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    QRect frame = window->frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    window->move(frame.topLeft());
}

void TfBase::CenterOnScreen() { abd::CenterOnScreen(window_); }

void TfBase::EnableKeyPreview() {
    if (!preview_)
        preview_ = std::make_unique<KeyPreview>(*this);
    for (QWidget* w : window_->findChildren<QWidget*>())
        w->installEventFilter(preview_.get());
    window_->installEventFilter(preview_.get());
}

void TfBase::MoveFocus(bool next) {
    QWidget* start = QApplication::focusWidget();
    if (!start)
        return;
    QWidget* w = start;
    do {
        w = next ? w->nextInFocusChain() : w->previousInFocusChain();
        if (w->window() == window_ && w->isEnabled() && w->isVisible() && (w->focusPolicy() & Qt::TabFocus) &&
            w != window_) {
            w->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
            return;
        }
    } while (w != start);
}

bool TfBase::PreviewKey(QWidget*, const QKeyEvent& key) {
    FormKeyDown(key.key(), key.modifiers());
    return false;
}

void TfBase::FormKeyDown(int key, Qt::KeyboardModifiers) {
    QWidget* focused = QApplication::focusWidget();
    // Exactly a plain line edit: kinds derived from it do not qualify.
    if (!focused || focused->metaObject() != &QLineEdit::staticMetaObject)
        return;
    if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Down)
        MoveFocus(true);
    else if (key == Qt::Key_Up)
        MoveFocus(false);
}

} // namespace abd
