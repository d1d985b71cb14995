#pragma once

#include "Caption.h"

#include <QByteArray>

// Running whisper.cpp's `whisper-cli` and cleaning what it returns. Stateless; any thread.
namespace WhisperEngine {

// The words of a `whisper-cli -oj -ml 1` JSON result ("transcription" array of segments with
// "offsets" in milliseconds and "text"), markers and empty segments skipped, loops dropped.
// Anything not of that shape gives no words.
TimedWords parse(const QByteArray& json);

// Collapses a phrase of one to six words heard four or more times in a row into two copies, the
// "same line over and over" that recognisers produce on music. Three repeats stay.
TimedWords dropLoops(const TimedWords& words);

} // namespace WhisperEngine
