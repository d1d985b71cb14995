#pragma once

#include "Caption.h"

#include <optional>
#include <utility>

namespace CaptionMath {

// Cuts a caption in two at time `t` (seconds), dividing its words in proportion to the time.
// Nothing when either side would be 0.1 s or shorter. Both halves get fresh identifiers; line
// breaks inside the text are not kept.
std::optional<std::pair<Caption, Caption>> split(const Caption& caption, double t);

// The confidence marks of `before` that still apply once its text reads `text`: marks in the
// unchanged start stay, marks in the unchanged end move with it, and marks on changed words go.
QList<WordConfidence> carryConfidence(const Caption& before, const QString& text);

// `after` with the confidence marks carried over (as above) for every caption whose text
// changed from its namesake in `before` while its marks were left as they were.
Captions carryConfidence(const Captions& before, Captions after);

} // namespace CaptionMath
