// The store's caption editing operations. Each computes a whole new list and assigns it through
// setCaptions, so every edit is one undo step (or merges into the running one).
#include "BCText.h"
#include "CaptionEditing.h"
#include "CaptionMath.h"
#include "LWStore.h"

#include <algorithm>

namespace {

// Stable sort by start, as adding and splitting leave the list.
void sortByStart(Captions& captions) {
    std::stable_sort(captions.begin(), captions.end(),
                     [](const Caption& a, const Caption& b) { return a.start < b.start; });
}

} // namespace

void LWStore::undo() {
    applyHistoryStep(m_history.undo(m_captions), QStringLiteral("Undone."));
}

void LWStore::redo() {
    applyHistoryStep(m_history.redo(m_captions), QStringLiteral("Redone."));
}

void LWStore::applyHistoryStep(const std::optional<Captions>& snapshot, const QString& note) {
    if (!snapshot) {
        m_hooks.beep();
        return;
    }
    m_history.suspended = true;
    setCaptions(*snapshot); // autosaved, but not recorded again
    m_history.suspended = false;
    fixSelection();
    ++m_historyTick;
    emit historyTickChanged();
    setNote(note);
}

std::optional<qsizetype> LWStore::indexOf(std::optional<QUuid> id) const {
    if (!id)
        return std::nullopt;
    for (qsizetype i = 0; i < m_captions.size(); ++i) {
        if (m_captions[i].id == *id)
            return i;
    }
    return std::nullopt;
}

void LWStore::fixSelection() {
    if (m_selected && !indexOf(m_selected))
        setSelected(std::nullopt);
}

void LWStore::addCaption() {
    if (!m_media)
        return;
    const double t = m_time;
    double limit = m_media->duration;
    bool found = false;
    for (const Caption& c : m_captions) {
        if (c.start > t + 0.01 && (!found || c.start < limit)) {
            limit = c.start;
            found = true;
        }
    }
    const double end = std::min(std::max(limit - 0.04, t + 0.5), t + 3.0);
    const Caption added = Caption::make(t, end, QStringLiteral("New caption"));
    Captions list = m_captions;
    list.append(added);
    sortByStart(list);
    setCaptions(list);
    setSelected(added.id);
}

void LWStore::deleteCaption(const QUuid& id) {
    Captions list = m_captions;
    list.removeIf([&](const Caption& c) { return c.id == id; });
    const bool wasSelected = m_selected == id;
    setCaptions(list);
    if (wasSelected)
        setSelected(std::nullopt);
}

void LWStore::nudgeCaption(const QUuid& id, double by) {
    const auto i = indexOf(id);
    if (!i)
        return;
    Captions list = m_captions;
    Caption& c = list[*i];
    const double length = c.end - c.start;
    c.start = std::max(c.start + by, 0.0);
    c.end = c.start + length;
    setCaptions(list);
}

void LWStore::setStart(const QUuid& id, double t) {
    const auto i = indexOf(id);
    if (!i)
        return;
    Captions list = m_captions;
    Caption& c = list[*i];
    c.start = std::max(std::min(t, c.end - 0.1), 0.0);
    setCaptions(list);
}

void LWStore::setEnd(const QUuid& id, double t) {
    const auto i = indexOf(id);
    if (!i)
        return;
    Captions list = m_captions;
    Caption& c = list[*i];
    const double duration = m_media ? m_media->duration : 0.0;
    const double upper = std::max(duration, c.start + 0.1);
    c.end = std::min(upper, std::max(c.start + 0.1, t));
    setCaptions(list);
}

void LWStore::setText(const QUuid& id, const QString& text) {
    const auto i = indexOf(id);
    if (!i || m_captions[*i].text == text)
        return;
    Captions list = m_captions;
    list[*i].text = text;
    setCaptions(list);
}

void LWStore::splitAtPlayhead(const QUuid& id) {
    const auto i = indexOf(id);
    const auto halves = i ? CaptionMath::split(m_captions[*i], m_time) : std::nullopt;
    if (!halves) {
        m_hooks.beep();
        return;
    }
    Caption first = halves->first;
    first.id = id;
    Captions list = m_captions;
    list[*i] = first;
    list.insert(*i + 1, halves->second);
    setCaptions(list);
    setSelected(halves->second.id);
}

void LWStore::mergeWithNext(const QUuid& id) {
    const auto i = indexOf(id);
    if (!i || *i + 1 >= m_captions.size()) {
        m_hooks.beep();
        return;
    }
    const Caption& a = m_captions[*i];
    const Caption& b = m_captions[*i + 1];
    QString text = a.text + u' ' + b.text;
    text.replace(u'\n', u' ');
    Caption merged{
        a.id, std::min(a.start, b.start), std::max(a.end, b.end), BCText::trimBlanks(text), {}};
    // Each side's marks, the second's only where its words now stand.
    merged.confidence = CaptionMath::carryConfidence(a, merged.text);
    const qsizetype second = merged.text.size() - b.text.trimmed().size();
    for (const WordConfidence& w : CaptionMath::carryConfidence(b, merged.text)) {
        if (w.at >= second)
            merged.confidence.append(w);
    }
    Captions list = m_captions;
    list[*i] = merged;
    list.removeAt(*i + 1);
    setCaptions(list);
}

void LWStore::shiftAll(double by) {
    Captions list = m_captions;
    for (Caption& c : list) {
        c.start = std::max(c.start + by, 0.0);
        c.end = std::max(c.end + by, c.start + 0.1);
    }
    setCaptions(list);
}

void LWStore::rewrap() {
    Captions list = m_captions;
    for (Caption& c : list)
        c.text = CaptionMath::wrap(c.text, m_rules.maxCharsPerLine, m_rules.maxLines);
    setCaptions(list);
}

void LWStore::restorePrevious() {
    if (!m_previousCaptions) {
        m_hooks.beep();
        return;
    }
    const Captions previous = *m_previousCaptions;
    setPreviousCaptions(m_captions.isEmpty() ? std::nullopt : std::optional(m_captions));
    setCaptions(previous);
    setSelected(std::nullopt);
    setNote(QStringLiteral("Restored the previous %1 captions.").arg(previous.size()));
}
