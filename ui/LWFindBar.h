#pragma once

#include "CaptionFind.h"

#include <QWidget>

class LWStore;
class QCheckBox;
class QLineEdit;

// The find and replace bar above the caption list: the text to find, what to put instead, match
// case, whole words and regular expression. Return finds the next match (Shift+Return the one
// before), Escape closes the bar; the store selects each match's caption and the list highlights
// the match in its row.
class LWFindBar : public QWidget {
    Q_OBJECT
public:
    explicit LWFindBar(LWStore& store, QWidget* parent = nullptr);

    // Shows the bar with the find field (or, for replacing, the replace field) focused.
    void open(bool replacing);
    void findNext(bool forward);
    void replaceCurrent();
    void replaceAll();

    QLineEdit* findField() const { return m_find; }
    QLineEdit* replaceField() const { return m_replace; }
    CaptionFind::Options options() const;
    void setOptions(const CaptionFind::Options& options);

signals:
    void closed();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    LWStore& m_store;
    QLineEdit* m_find = nullptr;
    QLineEdit* m_replace = nullptr;
    QCheckBox* m_case = nullptr;
    QCheckBox* m_words = nullptr;
    QCheckBox* m_regex = nullptr;
};
