#pragma once

#include <QObject>
#include <QString>

class LWStore;
class QKeyEvent;

// The window-wide single-key commands (arrows, Space, J K L, N, S, the brackets), installed on
// the application. A key press passes through untouched while a text field has the focus or
// when Ctrl or Alt is held (the menus take those); otherwise a press the handler knows is
// consumed.
class LWKeyFilter : public QObject {
    Q_OBJECT
public:
    explicit LWKeyFilter(LWStore& store, QObject* parent = nullptr);

    // Acts on one key: `key` is the Qt key code (arrows, Space), `text` the typed character.
    // Returns whether the key is one of the commands (then it is consumed).
    static bool handle(LWStore& store, int key, bool shift, const QString& text);

    // Whether a press with that focus widget and modifiers reaches handle().
    static bool reachesHandler(const QObject* focus, Qt::KeyboardModifiers modifiers);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    LWStore& m_store;
};
