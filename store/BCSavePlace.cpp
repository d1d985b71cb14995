#include "BCSavePlace.h"

#include "LWDefaults.h"

#include <QFileInfo>

namespace BCSavePlace {

void prepare(LWUiHooks::SavePanel& panel) {
    const QVariant stored = LWDefaults::value(QStringLiteral("lw.lastSaveFolder"));
    if (!stored.isValid())
        return;
    const QString folder = stored.toString();
    if (!folder.isEmpty() && QFileInfo::exists(folder))
        panel.startFolder = folder;
}

void remember(const QString& savedFile) {
    LWDefaults::setValue(QStringLiteral("lw.lastSaveFolder"), QFileInfo(savedFile).absolutePath());
}

} // namespace BCSavePlace
