#pragma once

#include <QString>
#include <QStringList>
#include <optional>

// Everything the store needs from a person: panels, questions, alerts, the beep and revealing a
// file. The window implements it with real dialogs; tests script the answers. All calls happen on
// the main thread.
class LWUiHooks {
public:
    struct OpenPanel {
        QString title;
        QString message;
        QStringList extensions; // without dots; empty: any file
    };
    struct SavePanel {
        QString title;
        QString message;
        QString proposedName;
        QStringList extensions; // without dots
        QString startFolder;    // empty: the panel's default
    };

    virtual ~LWUiHooks() = default;

    // The chosen file's path, or nothing when the person cancels.
    virtual std::optional<QString> openPanel(const OpenPanel& panel) = 0;
    virtual std::optional<QString> savePanel(const SavePanel& panel) = 0;
    // Index of the chosen button; the last button is the one Escape picks.
    virtual int question(const QString& title, const QString& message,
                         const QStringList& buttons) = 0;
    // A modal warning with one "OK" button.
    virtual void alert(const QString& title, const QString& message) = 0;
    virtual void beep() = 0;
    virtual void reveal(const QString& path) = 0;
};
