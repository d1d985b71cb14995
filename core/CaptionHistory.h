#pragma once

#include "Caption.h"

#include <QList>
#include <QString>
#include <functional>
#include <limits>
#include <optional>

// Undo and redo snapshots of the whole caption list. Quick successive edits of the same kind to
// the same caption merge into one step. A plain value; main thread only.
struct CaptionHistory {
    QList<Captions> undoStack; // snapshots before each recorded change, oldest first
    QList<Captions> redoStack; // snapshots undone, most recent last
    bool suspended = false;    // while set, changes are not recorded
    int limit = 200;           // most snapshots kept on the undo stack
    double mergeWindow = 1.2;  // seconds between two edits that still merge
    std::optional<QString> lastKey;
    double lastTime = -std::numeric_limits<double>::infinity(); // seconds on the `now` clock
    std::function<double()> now = defaultClock;                 // seconds; replaceable for tests

    static double defaultClock();

    // The merge key of a change from `a` to `b`: "<id>:text" or "<id>:time" when exactly one
    // caption changed and kept its identifier; nothing for any other change.
    static std::optional<QString> key(const Captions& a, const Captions& b);

    void record(const Captions& oldList, const Captions& newList);
    std::optional<Captions> undo(const Captions& current);
    std::optional<Captions> redo(const Captions& current);
    void reset();

private:
    std::optional<Captions> step(QList<Captions>& from, QList<Captions>& to,
                                 const Captions& current);
};
