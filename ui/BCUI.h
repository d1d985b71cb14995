#pragma once

#include "BCTheme.h"

#include <QFont>
#include <QObject>
#include <QVariant>
#include <array>

// The interface's look for the whole process: the colour theme and the zoom, both remembered
// in the settings ("brct.ui.theme", "brct.ui.zoom"). Main thread only.
class BCUI : public QObject {
    Q_OBJECT
public:
    static constexpr std::array<double, 9> zoomLevels{0.85, 0.9, 1.0,  1.1, 1.25,
                                                      1.4,  1.5, 1.75, 2.0};

    // The process's one instance, reading the stored zoom and theme on first use.
    static BCUI& shared();

    const BCTheme& theme() const { return m_theme; }
    // Takes the theme and stores its identifier.
    void setTheme(const BCTheme& theme);
    double zoom() const { return m_zoom; }
    // Takes the zoom and stores it.
    void setZoom(double zoom);

    void zoomIn() { setZoom(nextZoom(m_zoom)); }
    void zoomOut() { setZoom(previousZoom(m_zoom)); }

    // `points` at the current zoom, rounded to whole pixels.
    int px(double points) const;

    // The first level above `zoom` (+0.001 tolerance), or the largest.
    static double nextZoom(double zoom);
    // The last level below `zoom` (-0.001 tolerance), or the smallest.
    static double previousZoom(double zoom);
    // The zoom to start with from a stored value: missing or 0 gives 1.0; otherwise rounded to
    // two decimals and kept within 0.85..2.0.
    static double startZoom(const QVariant& stored);

signals:
    void themeChanged();
    void zoomChanged();

private:
    BCUI();
    BCTheme m_theme;
    double m_zoom = 1.0;
};

// Every text of the interface: the system font at `points` x zoom, with that weight, and a
// fixed-width face when `monospace` is set.
QFont BCFont(double points, QFont::Weight weight = QFont::Normal, bool monospace = false);
