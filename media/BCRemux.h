#pragma once

#include <QString>
#include <stop_token>

// An in-process stream copy with libavformat (the passthrough export: a
// playable copy): no decoding, no encoding.
namespace BCRemux {

// Copies the first video and the first sound stream of `input` (either may be absent) into a
// QuickTime movie at `output`, index at the front, keeping the display matrix. Throws BCError
// "The system can't export this file" when the input cannot be opened or a stream cannot go
// into a MOV, BCError with FFmpeg's reason when copying fails, BCCancelled when `stop` fires.
// Leaves whatever it wrote at `output` on failure: the caller writes to a temporary name.
void toMov(const QString& input, const QString& output, std::stop_token stop = {});

} // namespace BCRemux
