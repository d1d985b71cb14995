#pragma once

#include <QWidget>

class LWStore;
class QLabel;

// The line along the bottom: the store's note with an info symbol, or the keyboard hint; the
// maker's credit at the right.
class LWStatusBar : public QWidget {
    Q_OBJECT
public:
    explicit LWStatusBar(LWStore& store, QWidget* parent = nullptr);

    static QString hint();
    QString text() const;
    void applyLook();

private:
    LWStore& m_store;
    QLabel* m_symbol = nullptr;
    QLabel* m_text = nullptr;
    QLabel* m_credit = nullptr;
};
