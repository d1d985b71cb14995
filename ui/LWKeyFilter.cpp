#include "LWKeyFilter.h"

#include "CaptionMath.h"
#include "LWStore.h"

#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <algorithm>

LWKeyFilter::LWKeyFilter(LWStore& store, QWidget& window)
    : QObject(&window), m_store(store), m_window(window) {}

bool LWKeyFilter::windowHasKeys() const {
    if (QApplication::activeWindow() != &m_window || QApplication::activePopupWidget() ||
        QApplication::activeModalWidget())
        return false;
    const QWidget* focus = QApplication::focusWidget();
    return !focus || focus->window() == &m_window;
}

bool LWKeyFilter::inDeleteArea(const QWidget* focus) const {
    return focus && std::any_of(m_deleteAreas.begin(), m_deleteAreas.end(), [focus](QWidget* area) {
               return area == focus || area->isAncestorOf(focus);
           });
}

bool LWKeyFilter::reachesHandler(const QObject* focus, Qt::KeyboardModifiers modifiers, int key) {
    if (modifiers & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return false;
    // A slider moves with the arrows.
    if (qobject_cast<const QAbstractSlider*>(focus) &&
        (key == Qt::Key_Left || key == Qt::Key_Right))
        return false;
    if (qobject_cast<const QLineEdit*>(focus) || qobject_cast<const QAbstractSpinBox*>(focus))
        return false;
    if (const auto* text = qobject_cast<const QTextEdit*>(focus))
        return text->isReadOnly();
    if (const auto* plain = qobject_cast<const QPlainTextEdit*>(focus))
        return plain->isReadOnly();
    if (const auto* combo = qobject_cast<const QComboBox*>(focus))
        return !combo->isEditable();
    return true;
}

bool LWKeyFilter::handle(LWStore& store, int key, bool shift, const QString& text) {
    switch (key) {
    case Qt::Key_Right:
        store.seek(store.time() + (shift ? 5.0 : 0.2));
        return true;
    case Qt::Key_Left:
        store.seek(store.time() - (shift ? 5.0 : 0.2));
        return true;
    case Qt::Key_Space:
        store.togglePlay();
        return true;
    default:
        break;
    }
    if (text.size() != 1)
        return false;
    const QChar typed = text.front();
    if (typed == u'[' || typed == u']') {
        if (const auto id = store.selected())
            store.nudgeCaption(*id, (typed == u'[' ? -1 : 1) * (shift ? 0.5 : 0.1));
        return true;
    }
    switch (typed.toLower().unicode()) {
    case u'j':
        store.seek(store.time() - 2);
        return true;
    case u'l':
        store.seek(store.time() + 2);
        return true;
    case u'k':
        if (store.playing())
            store.togglePlay();
        return true;
    case u'n':
        store.addCaption();
        return true;
    case u's': {
        std::optional<QUuid> id = store.selected();
        if (!id) {
            if (const auto index = CaptionMath::active(store.captions(), store.time()))
                id = store.captions()[*index].id;
        }
        if (id)
            store.splitAtPlayhead(*id);
        return true;
    }
    default:
        return false;
    }
}

namespace {

enum class Edit { none, undo, redo };

Edit editKey(const QKeyEvent* key) {
    const auto modifiers = key->modifiers() & ~Qt::KeypadModifier;
    if (key->key() != Qt::Key_Z)
        return Edit::none;
    if (modifiers == Qt::ControlModifier)
        return Edit::undo;
    if (modifiers == (Qt::ControlModifier | Qt::ShiftModifier))
        return Edit::redo;
    return Edit::none;
}

} // namespace

bool LWKeyFilter::eventFilter(QObject* watched, QEvent* event) {
    const auto type = event->type();
    if ((type != QEvent::KeyPress && type != QEvent::ShortcutOverride) ||
        !watched->isWidgetType() || !windowHasKeys())
        return false;
    auto* key = static_cast<QKeyEvent*>(event);
    QWidget* focus = QApplication::focusWidget();
    if (type == QEvent::ShortcutOverride) {
        // Claiming the override keeps the key from the window's shortcuts and sends it here as
        // a key press: undo and redo then go to the store even where a text field would keep
        // them for its own undo, and Delete outside the list and lane deletes nothing.
        const bool bareDelete = key->key() == Qt::Key_Delete &&
                                (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
        if (editKey(key) != Edit::none || (bareDelete && !inDeleteArea(focus))) {
            key->accept();
            return true;
        }
        return false;
    }
    switch (editKey(key)) {
    case Edit::undo:
        m_store.undo();
        return true;
    case Edit::redo:
        m_store.redo();
        return true;
    case Edit::none:
        break;
    }
    // Key presses reach the focus widget first and then each widget up the parent chain; a
    // command consumes the press, so one press is one command.
    if (!reachesHandler(focus, key->modifiers(), key->key()))
        return false;
    return handle(m_store, key->key(), key->modifiers() & Qt::ShiftModifier, key->text());
}
