#pragma once

#include "LWUiHooks.h"

#include <QPointer>
#include <QWidget>

// The UI hooks answered by real dialogs parented to the main window.
class LWQtUiHooks : public LWUiHooks {
public:
    explicit LWQtUiHooks(QWidget* window = nullptr) : m_window(window) {}
    void setWindow(QWidget* window) { m_window = window; }

    std::optional<QString> openPanel(const OpenPanel& panel) override;
    std::optional<QString> savePanel(const SavePanel& panel) override;
    int question(const QString& title, const QString& message, const QStringList& buttons) override;
    void alert(const QString& title, const QString& message) override;
    void beep() override;
    void reveal(const QString& path) override;

private:
    QPointer<QWidget> m_window;
};
