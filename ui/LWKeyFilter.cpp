#include "LWKeyFilter.h"

#include "CaptionMath.h"
#include "LWStore.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>

LWKeyFilter::LWKeyFilter(LWStore& store, QObject* parent) : QObject(parent), m_store(store) {}

bool LWKeyFilter::reachesHandler(const QObject* focus, Qt::KeyboardModifiers modifiers) {
    if (modifiers & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
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

bool LWKeyFilter::eventFilter(QObject* watched, QEvent* event) {
    // Key presses reach the window first and then each widget up the parent chain; acting on
    // the first widget only keeps one press one command.
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType())
        return false;
    auto* key = static_cast<QKeyEvent*>(event);
    if (!reachesHandler(QApplication::focusWidget(), key->modifiers()))
        return false;
    return handle(m_store, key->key(), key->modifiers() & Qt::ShiftModifier, key->text());
}
