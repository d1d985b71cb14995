#pragma once

#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QToolButton>
#include <QVariant>

class QPainter;

// The interface's own controls. Each paints itself from the current theme of BCUI (no platform
// style), sizes itself through BCUI's zoom, and repaints when either changes.

// A faint brushed-metal texture of fine horizontal lines over `area`.
void BrushedLines(QPainter& painter, const QRectF& area, double opacity = 0.05);

// A rounded, shaded panel holding other widgets (give it a layout).
class BCPanel : public QFrame {
    Q_OBJECT
public:
    explicit BCPanel(QWidget* parent = nullptr, double radius = 12, double padding = 12);
    void applyLook();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    double m_radius;
    double m_padding;
};

// A recessed rounded well.
class BCWell : public QFrame {
    Q_OBJECT
public:
    explicit BCWell(QWidget* parent = nullptr, double radius = 8);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    double m_radius;
};

// A button with a chrome face, an optional symbol and a word. `prominent` lights it with the
// accent (as does being checked); `compact` trims its padding.
class BCChromeButton : public QToolButton {
    Q_OBJECT
public:
    explicit BCChromeButton(const QString& text = {}, QWidget* parent = nullptr);
    BCChromeButton(const QString& symbol, const QString& text, QWidget* parent);

    bool prominent() const { return m_prominent; }
    void setProminent(bool on);
    bool compact() const { return m_compact; }
    void setCompact(bool on);
    // The symbol name of the icon drawn beside the word; empty for none.
    QString symbol() const { return m_symbol; }
    void setSymbol(const QString& symbol);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QString m_symbol;
    bool m_prominent = false;
    bool m_compact = false;
};

// A round transport button showing one symbol; `lit` draws it in the accent.
class BCOrbButton : public QToolButton {
    Q_OBJECT
public:
    BCOrbButton(const QString& symbol, const QString& help, QWidget* parent = nullptr,
                double size = 34);
    QString symbol() const { return m_symbol; }
    void setSymbol(const QString& symbol);
    bool lit() const { return m_lit; }
    void setLit(bool on);
    void applyLook();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_symbol;
    double m_size;
    bool m_lit = false;
};

// A row of mutually exclusive buttons bound to one value.
class BCSegment : public QWidget {
    Q_OBJECT
public:
    explicit BCSegment(QWidget* parent = nullptr);
    void addItem(const QVariant& value, const QString& label);
    QVariant selection() const { return m_selection; }
    // Shows `value` as chosen without reporting it.
    void setSelection(const QVariant& value);
    QList<BCChromeButton*> buttons() const { return m_buttons; }

signals:
    // The person chose another value.
    void chosen(const QVariant& value);

private:
    QList<BCChromeButton*> m_buttons;
    QList<QVariant> m_values;
    QVariant m_selection;
};

// A labelled on/off switch; a click flips it (`toggled` reports the new state). A title too
// long for the width wraps at word boundaries and the switch grows taller.
class BCSwitch : public QCheckBox {
    Q_OBJECT
public:
    explicit BCSwitch(const QString& title, QWidget* parent = nullptr);
    QSize sizeHint() const override;
    // The switch and the title's longest word.
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool hitButton(const QPoint& pos) const override;
};

// Text in a dark well in a monospaced face, like a display.
class BCLCD : public QLabel {
    Q_OBJECT
public:
    explicit BCLCD(const QString& text = {}, QWidget* parent = nullptr, double size = 15);
    void applyLook();
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    double m_size;
};

// A two-part title, the second part lighter ("Lorowen" "Pro").
class BCChromeTitle : public QWidget {
    Q_OBJECT
public:
    BCChromeTitle(QString first, QString second, QWidget* parent = nullptr, double size = 20);
    QString text() const { return m_first + u' ' + m_second; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_first;
    QString m_second;
    double m_size;
};

// A small section heading.
class BCCaption : public QLabel {
    Q_OBJECT
public:
    explicit BCCaption(const QString& text, QWidget* parent = nullptr);
    void applyLook();

protected:
    bool event(QEvent* event) override;
};

// Paints the window's background: the theme's base colour fading to its deepest one, top to
// bottom, behind everything.
class BCRoot : public QWidget {
    Q_OBJECT
public:
    explicit BCRoot(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};
