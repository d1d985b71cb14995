#pragma once

#include "LWUiHooks.h"

class BCPreferences;

namespace BCSavePlace {

// Points the panel at the folder last saved to, when that folder still exists.
void prepare(LWUiHooks::SavePanel& panel, const BCPreferences& preferences);

// Remembers the folder of a file just chosen in a save panel.
void remember(const QString& savedFile, BCPreferences& preferences);

} // namespace BCSavePlace
