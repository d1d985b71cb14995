#pragma once

#include <QList>
#include <QSet>
#include <QString>
#include <QUrl>
#include <optional>

// The media drop filter, without the view: the window's drop target hands it the URLs of the
// dropped items and acts on the result (opens the accepted files, or shows the alert). Pure.
namespace BCFileDrop {

struct Alert {
    QString title;   // "That file type isn't supported"
    QString message; // "Supported: " + the extensions sorted and joined by ", "
};

struct Result {
    QList<QUrl> accepted;       // the dropped URLs whose lower-cased extension is in `exts`
    std::optional<Alert> alert; // when none was accepted but at least one URL was dropped
};

// `exts` holds lower-case extensions without the dot (LWFormats::exts for the monitor).
Result filter(const QList<QUrl>& dropped, const QSet<QString>& exts);

Alert unsupportedAlert(const QSet<QString>& exts);

} // namespace BCFileDrop
