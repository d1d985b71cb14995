#pragma once

#include "BCOpenedMedia.h"
#include "Caption.h"
#include "CaptionStyle.h"

#include <QImage>
#include <QPoint>
#include <QSize>
#include <QString>
#include <QStringList>
#include <functional>
#include <mutex>
#include <stop_token>
#include <vector>

namespace BurnIn {

// Shared between the store and a running video export so that "Stop" can reach the export's own
// cancel hooks. `session` stands for the running encoder's cancel hook (set by the burn-in),
// `onCancel` for any extra action (set by the subtitle-track export). Both are cleared when the
// export ends, so a later stop never reaches objects that are gone. Thread-safe.
class Job {
public:
    void setSession(std::function<void()> cancel);
    void setOnCancel(std::function<void()> action);
    // Runs the session's cancel hook, then onCancel; either may be empty.
    void cancel();
    // Called by an export on every way out.
    void clear();
    bool hasSession() const;
    bool hasOnCancel() const;

private:
    mutable std::mutex m_mutex;
    std::function<void()> m_session;
    std::function<void()> m_onCancel;
};

// The picture size of a burned-in file: each side of the displayed size halved, rounded (halves
// away from zero) and doubled, so both are even (853 x 480 gives 854 x 480).
QSize renderSize(QSizeF displayed);

// The frame rate of a burned-in file: the nominal rate rounded and held to 10..60, or 30 when the
// nominal rate is 1 or less (unknown).
int frameRate(double nominal);

// One caption drawn for a picture: the premultiplied RGBA image, where its top-left corner goes
// (picture pixels, top-left origin, may lie outside the picture), and the time span
// [start, end) of the frames that show it (at least 0.04 s long).
struct CaptionImage {
    QImage image;
    QPoint at;
    double start = 0;
    double end = 0;
};

// Every caption that survives the export tidy-up, drawn once by the monitor's caption renderer
// for a picture of `size`, in start order (later ones are drawn over earlier ones). Any thread.
std::vector<CaptionImage> captionImages(const Captions& captions, const CaptionStyle& style,
                                        QSize size);

// True when `destination` is the opened media file itself (the chosen one or the copy played),
// by identity on disk, so hard links and other spellings of the path count too. No export may
// write over its own source.
bool isSourceOf(const BCOpenedMedia& media, const QString& destination);
// The sentence of that refusal.
QString replacesSourceSentence();

// The note a finished burn-in leaves: "Saved NAME." or, with sidecars on,
// "Saved NAME (+ .srt and .vtt beside it)." when they were written and
// "Saved NAME (the .srt and .vtt files couldn't be written)." when they were not.
QString savedNote(const QString& fileName, bool sidecars, bool sidecarsWritten);

// A fraction 0..1 of the export done.
using Progress = std::function<void(double fraction)>;

// Writes `destination`, an H.264 MP4 (index at the start) of the first video track of `media`
// turned upright, at renderSize() and frameRate(), with the captions blended into the frames of
// their spans, and the first sound track copied when MP4 can hold it, else AAC 192 kb/s (no
// sound when there is none or it cannot be read). The file is written beside the destination
// and moved over it only when complete, so a failure or a stop leaves whatever was there.
// Blocking; call it on a worker thread. `job` gets the running encoder's cancel hook (cleared on
// return); a stop through it or `stop` throws BCCancelled. `progress` is called from the
// export's own threads about 6.7 times a second, then exactly 1.0 on success; a caller that
// updates the interface hops to the main thread itself (LWJobContext::status does). Failures
// throw BCError with the user's sentence.
void exportVideo(const BCOpenedMedia& media, const Captions& captions, const CaptionStyle& style,
                 const QString& destination, Job& job, const Progress& progress,
                 std::stop_token stop = {});

// Writes the captions as SRT and then WebVTT beside `video` (same folder and base name, the last
// extension replaced), each atomically. Returns the two paths, SRT first. Throws BCError with the
// file system's sentence at the first failure; the WebVTT file is not tried when the SRT fails.
QStringList writeSidecars(const Captions& captions, const QString& video);

} // namespace BurnIn
