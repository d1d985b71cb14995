#pragma once

#include "LWQtUiHooks.h"

#include <QMainWindow>
#include <memory>

class LWStore;
class QLabel;
class QListView;

// The application's one window: menus, the caption list and the status line, wired to the store.
class LWMainWindow : public QMainWindow {
    Q_OBJECT
public:
    LWMainWindow();
    ~LWMainWindow() override;

    LWStore& store() { return *m_store; }

private:
    void buildMenus();
    void refreshStatus();

    LWQtUiHooks m_hooks;
    std::unique_ptr<LWStore> m_store;
    QListView* m_list = nullptr;
    QLabel* m_status = nullptr;
};
