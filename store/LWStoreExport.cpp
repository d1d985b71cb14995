// The video export commands.
#include "LWStore.h"

void LWStore::exportSoft() {}
