#pragma once

#include "LWUiHooks.h"

#include <QList>
#include <QStringList>
#include <deque>

// UI hooks with scripted answers that record every call, for headless store tests.
class ScriptedHooks : public LWUiHooks {
public:
    struct Alert {
        QString title;
        QString message;
    };

    std::deque<std::optional<QString>> openAnswers; // nothing = cancel
    std::deque<std::optional<QString>> saveAnswers;
    std::deque<int> questionAnswers;

    QList<OpenPanel> openPanels;
    QList<SavePanel> savePanels;
    QList<Alert> alerts;
    QStringList revealed;
    int beeps = 0;

    std::optional<QString> openPanel(const OpenPanel& panel) override {
        openPanels.append(panel);
        return next(openAnswers);
    }
    std::optional<QString> savePanel(const SavePanel& panel) override {
        savePanels.append(panel);
        return next(saveAnswers);
    }
    int question(const QString&, const QString&, const QStringList& buttons) override {
        if (questionAnswers.empty())
            return int(buttons.size()) - 1;
        const int answer = questionAnswers.front();
        questionAnswers.pop_front();
        return answer;
    }
    void alert(const QString& title, const QString& message) override {
        alerts.append({title, message});
    }
    void beep() override { ++beeps; }
    void reveal(const QString& path) override { revealed.append(path); }

private:
    static std::optional<QString> next(std::deque<std::optional<QString>>& answers) {
        if (answers.empty())
            return std::nullopt;
        const bool chosen = answers.front().has_value();
        const QString path = chosen ? *answers.front() : QString();
        answers.pop_front();
        return chosen ? std::optional<QString>(path) : std::nullopt;
    }
};
