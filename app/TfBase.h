#pragma once

#include <QList>
#include <QObject>
#include <memory>

class QAction;
class QMenu;
class QWidget;
class QKeyEvent;

namespace abd {

/// Moves a window so that its frame is centred on the screen it is on.
void CenterOnScreen(QWidget* window);

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
    /// A key at the focused control of a window with key preview, before the control sees it: FormKeyDown. A
    /// derived window may take some keys itself; true means the key was used and goes no further.
    virtual bool PreviewKey(QWidget* control, const QKeyEvent& key);
    void MoveFocus(bool next);

private:
    class KeyPreview;
    QWidget* window_;
    std::unique_ptr<KeyPreview> preview_;
};

} // namespace abd
