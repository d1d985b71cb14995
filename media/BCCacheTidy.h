#pragma once

#include <QDateTime>
#include <QString>

namespace BCMediaOpener {

// Removes from `folder` the converter's partial copies ("<name>.partial-<suffix>.mov") last
// written more than a day before `now`; a newer one may belong to a run still going, and files
// of other names are never touched. Returns how many were removed. cacheFolder() calls it once
// per process, so an interrupted run's leftovers go at the next start.
int removeStalePartials(const QString& folder, const QDateTime& now);

} // namespace BCMediaOpener
