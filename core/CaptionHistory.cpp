#include "CaptionHistory.h"

#include <chrono>

double CaptionHistory::defaultClock() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

std::optional<QString> CaptionHistory::key(const Captions& a, const Captions& b) {
    if (a.size() != b.size() || a.isEmpty())
        return std::nullopt;
    std::optional<qsizetype> changed;
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (a[i] == b[i])
            continue;
        if (changed)
            return std::nullopt;
        changed = i;
    }
    if (!changed)
        return std::nullopt;
    const Caption& before = a[*changed];
    const Caption& after = b[*changed];
    if (before.id != after.id)
        return std::nullopt;
    const QString id = before.id.toString(QUuid::WithoutBraces).toUpper();
    return id + (before.text != after.text ? QStringLiteral(":text") : QStringLiteral(":time"));
}

void CaptionHistory::record(const Captions& oldList, const Captions& newList) {
    if (suspended || oldList == newList)
        return;
    const auto k = key(oldList, newList);
    const double t = now();
    if (k && k == lastKey && t - lastTime < mergeWindow && !undoStack.isEmpty()) {
        lastTime = t;
        redoStack.clear();
        return;
    }
    undoStack.append(oldList);
    while (undoStack.size() > limit)
        undoStack.removeFirst();
    redoStack.clear();
    lastKey = k;
    lastTime = t;
}

// Takes the newest snapshot of `from` and keeps `current` on `to`. The limit is not applied to
// `to`: a redo may leave one snapshot more than the limit until the next recorded change.
std::optional<Captions> CaptionHistory::step(QList<Captions>& from, QList<Captions>& to,
                                             const Captions& current) {
    if (from.isEmpty())
        return std::nullopt;
    Captions snapshot = from.takeLast();
    to.append(current);
    lastKey.reset();
    return snapshot;
}

std::optional<Captions> CaptionHistory::undo(const Captions& current) {
    return step(undoStack, redoStack, current);
}

std::optional<Captions> CaptionHistory::redo(const Captions& current) {
    return step(redoStack, undoStack, current);
}

void CaptionHistory::reset() {
    undoStack.clear();
    redoStack.clear();
    lastKey.reset();
}
