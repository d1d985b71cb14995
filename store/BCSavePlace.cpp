#include "BCSavePlace.h"

#include "BCPreferences.h"

#include <QFileInfo>

namespace BCSavePlace {

void prepare(LWUiHooks::SavePanel& panel, const BCPreferences& preferences) {
    const QVariant stored = preferences.value(BCPref::lastSaveFolder);
    if (!stored.isValid())
        return;
    const QString folder = stored.toString();
    if (!folder.isEmpty() && QFileInfo::exists(folder))
        panel.startFolder = folder;
}

void remember(const QString& savedFile, BCPreferences& preferences) {
    preferences.setValue(BCPref::lastSaveFolder, QFileInfo(savedFile).absolutePath());
}

} // namespace BCSavePlace
