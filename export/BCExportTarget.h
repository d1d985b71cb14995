#pragma once

#include "BCFileTarget.h"

// The video exports write through the one write-beside-then-rename helper.
using BCExportTarget = BCFileTarget;
