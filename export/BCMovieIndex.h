#pragma once

#include <QString>

// Edits to the index ("moov" box) of an MP4 or QuickTime file that FFmpeg's muxer cannot write
// itself. Only files whose index is the last box qualify: growing it then moves no sample, so no
// chunk offset changes.
namespace BCMovieIndex {

// Adds to the first text track ("sbtl" or "text" handler) a track reference of type "folw"
// pointing at the first video track, so players switch the subtitles on and off together with
// that picture. Does nothing when the file has no video track. Throws BCError ("The export
// failed: …") when the file cannot be read or written or its index is not laid out as expected.
void addSelectionFollower(const QString& path);

} // namespace BCMovieIndex
