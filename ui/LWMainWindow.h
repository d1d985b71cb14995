#pragma once

#include "LWQtUiHooks.h"

#include <QMainWindow>
#include <memory>

class BCChromeButton;
class BCSegment;
class LWExportBay;
class LWHeader;
class LWKeyFilter;
class LWLane;
class LWMonitor;
class LWStack;
class LWStatusBar;
class LWStore;
struct LWServices;
class QAction;
class QActionGroup;
class QLabel;
class QPushButton;
class QStackedWidget;

// The application's one window: the header, the monitor above the caption lane, the bay
// column (captions, style, export), the status line and the menus, wired to the store. Owns the
// store and the window-wide single-key filter; follows the zoom and theme of BCUI.
class LWMainWindow : public QMainWindow {
    Q_OBJECT
public:
    // `services` outlive the window.
    explicit LWMainWindow(const LWServices& services);
    ~LWMainWindow() override;

    LWStore& store() { return *m_store; }
    LWHeader* header() const { return m_header; }
    LWMonitor* monitor() const { return m_monitor; }
    LWExportBay* exportBay() const { return m_exportBay; }
    LWLane* lane() const { return m_lane; }
    LWStack* stack() const { return m_stack; }
    // Shows bay 0 (Captions), 1 (Style) or 2 (Export).
    void showBay(int bay);
    int bay() const;

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    QWidget* buildMonitorColumn();
    QWidget* buildBayColumn();
    void buildMenus();
    // Re-dresses the window after a change of zoom or theme.
    void applyLook();
    void refreshTitle();

    LWQtUiHooks m_hooks;
    std::unique_ptr<LWStore> m_store;
    LWKeyFilter* m_keys = nullptr;
    LWHeader* m_header = nullptr;
    LWMonitor* m_monitor = nullptr;
    LWExportBay* m_exportBay = nullptr;
    LWStatusBar* m_status = nullptr;
    LWStack* m_stack = nullptr;
    QStackedWidget* m_bays = nullptr;
    BCSegment* m_selector = nullptr;
    LWLane* m_lane = nullptr;
    QWidget* m_right = nullptr;
    QLabel* m_converted = nullptr;
    BCChromeButton* m_stop = nullptr;
    QAction* m_zoomLabel = nullptr;
    QActionGroup* m_themes = nullptr;
};
