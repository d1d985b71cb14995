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
    // The count of captions that fail a delivery check, as shown (empty when none).
    QString problemsText() const;

private:
    LWStore& m_store;
    QLabel* m_symbol = nullptr;
    QLabel* m_text = nullptr;
    QLabel* m_credit = nullptr;
    QLabel* m_problems = nullptr; // "4 captions need attention", a link to the next one
};
