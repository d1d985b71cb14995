#pragma once

#include "Caption.h"

#include <optional>
#include <utility>

namespace CaptionMath {

// Cuts a caption in two at time `t` (seconds), dividing its words in proportion to the time.
// Nothing when either side would be 0.1 s or shorter. Both halves get fresh identifiers; line
// breaks inside the text are not kept.
std::optional<std::pair<Caption, Caption>> split(const Caption& caption, double t);

} // namespace CaptionMath
