#pragma once

#include <QList>
#include <QObject>
#include <QString>

class LWStore;
class QKeyEvent;
class QWidget;

// The main window's keyboard, installed on the application so that it sees a key before the
// focused widget does.
// - The single-key commands (arrows, Space, J K L, N, S, the brackets) act only while `window`
//   is the active window, no popup or modal dialog is open and the focus is inside `window`;
//   a press passes through while a text field or a slider (for the arrows) has the focus, or
//   when Ctrl or Alt is held (the menus take those).
// - Ctrl+Z and Ctrl+Shift+Z anywhere in `window` are the store's undo and redo, also in a text
//   field (whose typing the store records).
// - The bare Delete key reaches the window's Delete command only while the focus is inside one
//   of the `deleteAreas` (the caption list and the lane).
class LWKeyFilter : public QObject {
    Q_OBJECT
public:
    LWKeyFilter(LWStore& store, QWidget& window);

    void setDeleteAreas(const QList<QWidget*>& areas) { m_deleteAreas = areas; }
    // Whether key presses now belong to the window: it is active, no popup or modal dialog is
    // open and the focus (if any) is inside it.
    bool windowHasKeys() const;

    // Acts on one key: `key` is the Qt key code (arrows, Space), `text` the typed character.
    // Returns whether the key is one of the commands (then it is consumed).
    static bool handle(LWStore& store, int key, bool shift, const QString& text);

    // Whether a press with that focus widget and modifiers reaches handle().
    static bool reachesHandler(const QObject* focus, Qt::KeyboardModifiers modifiers, int key = 0);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool inDeleteArea(const QWidget* focus) const;

    LWStore& m_store;
    QWidget& m_window;
    QList<QWidget*> m_deleteAreas;
};
