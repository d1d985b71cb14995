#include "BCFileDrop.h"

#include <QFileInfo>
#include <QStringList>
#include <algorithm>

namespace BCFileDrop {

Result filter(const QList<QUrl>& dropped, const QSet<QString>& exts) {
    Result result;
    for (const QUrl& url : dropped) {
        if (exts.contains(QFileInfo(url.path()).suffix().toLower()))
            result.accepted.append(url);
    }
    if (result.accepted.isEmpty() && !dropped.isEmpty())
        result.alert = unsupportedAlert(exts);
    return result;
}

Alert unsupportedAlert(const QSet<QString>& exts) {
    QStringList sorted(exts.cbegin(), exts.cend());
    std::sort(sorted.begin(), sorted.end());
    return {QStringLiteral("That file type isn't supported"),
            QStringLiteral("Supported: ") + sorted.join(QStringLiteral(", "))};
}

} // namespace BCFileDrop
