#pragma once

#include <QList>
#include <QObject>
#include <memory>

class QAction;
class QMenu;
class QWidget;
class QKeyEvent;

namespace abd {

/// What every window of the program shares: centring, tooltips, a command list, a pop-up menu and the
/// key-down handler that moves between edit fields with Enter and the arrow keys.
class TfBase {
public:
    explicit TfBase(QWidget* window);
    virtual ~TfBase();

    /// Moves the focus on Enter or Down, back on Up, when the focused control is a plain line edit.
    void FormKeyDown(int key, Qt::KeyboardModifiers shift);
    /// Lets the window see each key before its focused control does, and hands it to FormKeyDown.
    void EnableKeyPreview();
    void CenterOnScreen();

    QList<QAction*> alBase;
    QMenu* pmBase;

protected:
    /// A derived dialog may take a key first (a default button takes Enter): true skips FormKeyDown.
    virtual bool KeyTakenByWindow(const QKeyEvent&) { return false; }
    void MoveFocus(bool next);

private:
    class KeyPreview;
    QWidget* window_;
    std::unique_ptr<KeyPreview> preview_;
};

} // namespace abd
