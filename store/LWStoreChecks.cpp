// The store's delivery checks: every caption's problems kept up to date as the list changes.
#include "BCPreferences.h"
#include "CaptionMath.h"
#include "LWStore.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cmath>

CaptionChecks::Limits LWStore::checkLimits() const {
    CaptionChecks::Limits limits = m_limits;
    limits.maxCharsPerLine = std::max(8, m_rules.maxCharsPerLine);
    limits.minDuration = m_rules.minDuration;
    return limits;
}

void LWStore::adoptLimits(const CaptionChecks::Limits& limits) {
    const CaptionChecks::Limits defaults;
    const auto positive = [](double value, double fallback) {
        return std::isfinite(value) && value > 0 ? value : fallback;
    };
    m_limits.maxCharsPerSecond = positive(limits.maxCharsPerSecond, defaults.maxCharsPerSecond);
    m_limits.maxDuration = positive(limits.maxDuration, defaults.maxDuration);
    m_limits.minGap =
        std::isfinite(limits.minGap) && limits.minGap >= 0 ? limits.minGap : defaults.minGap;
    // 0 turns the confidence marks off; 1 marks every scored word below certainty.
    m_limits.minConfidence = std::isfinite(limits.minConfidence)
                                 ? std::clamp(limits.minConfidence, 0.0, 1.0)
                                 : defaults.minConfidence;
}

void LWStore::setCheckLimits(const CaptionChecks::Limits& limits) {
    adoptLimits(limits);
    const QJsonObject stored{{QStringLiteral("maxCps"), m_limits.maxCharsPerSecond},
                             {QStringLiteral("maxDuration"), m_limits.maxDuration},
                             {QStringLiteral("minGap"), m_limits.minGap},
                             {QStringLiteral("minConfidence"), m_limits.minConfidence}};
    m_services.preferences.setValue(
        BCPref::checkLimits,
        QString::fromUtf8(QJsonDocument(stored).toJson(QJsonDocument::Compact)));
    emit checkLimitsChanged();
    refreshProblems(true);
}

QList<CaptionChecks::Problem> LWStore::problemsOf(const QUuid& id) const {
    return m_checked.value(id).problems;
}

void LWStore::refreshProblems(bool all) {
    const CaptionChecks::Limits limits = checkLimits();
    QHash<QUuid, Checked> checked;
    checked.reserve(m_captions.size());
    qsizetype count = 0;
    bool changed = all || m_checked.size() != m_captions.size();
    for (qsizetype i = 0; i < m_captions.size(); ++i) {
        const Caption& c = m_captions[i];
        const bool hasNext = i + 1 < m_captions.size();
        const double nextStart = hasNext ? m_captions[i + 1].start : 0;
        const auto old = m_checked.constFind(c.id);
        Checked entry;
        if (!all && old != m_checked.cend() && old->start == c.start && old->end == c.end &&
            old->hasNext == hasNext && old->nextStart == nextStart && old->text == c.text &&
            old->confidence == c.confidence) {
            entry = *old;
        } else {
            entry = {c.start,
                     c.end,
                     c.text,
                     c.confidence,
                     nextStart,
                     hasNext,
                     CaptionChecks::check(m_captions, i, limits)};
            if (old == m_checked.cend() || old->problems != entry.problems)
                changed = true;
        }
        // The index is where the caption is now.
        for (CaptionChecks::Problem& p : entry.problems)
            p.index = i;
        if (!entry.problems.isEmpty())
            ++count;
        checked.insert(c.id, std::move(entry));
    }
    m_checked = std::move(checked);
    if (count != m_problemCount)
        changed = true;
    m_problemCount = count;
    if (changed)
        emit problemsChanged();
}

void LWStore::selectProblem(bool forward) {
    const qsizetype n = m_captions.size();
    // Searching starts after (before) the selected caption, or from the playhead: forward from
    // the first caption that starts at or after it, backward from the last that starts before.
    qsizetype from = -1;
    if (const auto index = indexOf(m_selected)) {
        from = *index;
    } else {
        qsizetype before = 0; // captions that start before the playhead
        while (before < n && m_captions[before].start < m_time)
            ++before;
        from = forward ? before - 1 : before;
    }
    for (qsizetype step = 1; step <= n; ++step) {
        const qsizetype i = ((forward ? from + step : from - step) % n + n) % n;
        if (!problemsOf(m_captions[i].id).isEmpty()) {
            setSelected(m_captions[i].id);
            seek(m_captions[i].start);
            return;
        }
    }
    m_hooks.beep();
}
