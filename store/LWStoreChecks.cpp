// The store's delivery checks: every caption's problems kept up to date as the list changes.
#include "BCPreferences.h"
#include "CaptionMath.h"
#include "LWStore.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>

CaptionChecks::Limits LWStore::checkLimits() const {
    CaptionChecks::Limits limits;
    limits.maxCharsPerSecond = m_maxCps;
    limits.maxCharsPerLine = std::max(8, m_rules.maxCharsPerLine);
    limits.minDuration = m_rules.minDuration;
    limits.maxDuration = m_maxDuration;
    limits.minGap = m_minGap;
    return limits;
}

void LWStore::setCheckLimits(const CaptionChecks::Limits& limits) {
    const auto usable = [](double value, double fallback) {
        return std::isfinite(value) && value > 0 ? value : fallback;
    };
    m_maxCps = usable(limits.maxCharsPerSecond, 17);
    m_maxDuration = usable(limits.maxDuration, 7);
    m_minGap = std::isfinite(limits.minGap) && limits.minGap >= 0 ? limits.minGap : 0.083;
    const QJsonObject stored{{QStringLiteral("maxCps"), m_maxCps},
                             {QStringLiteral("maxDuration"), m_maxDuration},
                             {QStringLiteral("minGap"), m_minGap}};
    m_services.preferences.setValue(
        BCPref::checkLimits,
        QString::fromUtf8(QJsonDocument(stored).toJson(QJsonDocument::Compact)));
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
            old->hasNext == hasNext && old->nextStart == nextStart && old->text == c.text) {
            entry = *old;
        } else {
            entry = {c.start,   c.end,   c.text,
                     nextStart, hasNext, CaptionChecks::check(m_captions, i, limits)};
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
