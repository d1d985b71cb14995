#pragma once

#include "BCOpenedMedia.h"
#include "Caption.h"
#include "CaptionMath.h"
#include "CaptionStyle.h"

#include <QImage>
#include <QPoint>
#include <QSize>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <functional>
#include <list>
#include <stop_token>
#include <vector>

namespace BurnIn {

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

// One tidied caption drawn by the monitor's caption renderer for a picture of `size`, placed and
// timed as captionImages() describes. Any thread.
CaptionImage captionImage(const Caption& caption, const CaptionStyle& style, QSize size);

// The captions showing at each output frame, for frame times that only grow. A caption's image is
// drawn (and turned into `Drawn` by `convert`) when the first frame that shows it is asked for,
// and released after its last frame, so memory follows the captions on screen, not how many
// there are. A caption over before the first frame asked for is never drawn. `Drawn` has `end`.
template <class Drawn> class CaptionSchedule {
public:
    using Convert = std::function<Drawn(CaptionImage)>;

    CaptionSchedule(const Captions& captions, const CaptionStyle& style, QSize size,
                    Convert convert)
        : m_captions(CaptionMath::normalized(captions)), m_style(style), m_size(size),
          m_convert(std::move(convert)) {}

    // In list order, so later captions are drawn over earlier ones.
    const std::vector<const Drawn*>& at(double t) {
        constexpr double slack = 1e-9; // frame times computed as i / rate
        while (m_next < m_captions.size() && m_captions[m_next].start <= t + slack) {
            const Caption& caption = m_captions[m_next++];
            if (!(t + slack < caption.start + std::max(caption.end - caption.start, 0.04)))
                continue;
            CaptionImage image = captionImage(caption, m_style, m_size);
            if (!image.image.isNull())
                m_live.push_back(m_convert(std::move(image)));
        }
        std::erase_if(m_live, [t](const Drawn& d) { return !(t + slack < d.end); });
        m_active.clear();
        for (const Drawn& d : m_live)
            m_active.push_back(&d);
        return m_active;
    }

    // How many drawn captions are held now.
    size_t held() const { return m_live.size(); }

private:
    Captions m_captions; // tidied, in start order
    CaptionStyle m_style;
    QSize m_size;
    Convert m_convert;
    std::list<Drawn> m_live;
    std::vector<const Drawn*> m_active;
    qsizetype m_next = 0;
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
// Blocking; call it on a worker thread. A stop through `stop` (heard by FFmpeg's reads and writes
// and between frames) throws BCCancelled. `progress` is called from the
// export's own threads about 6.7 times a second, then exactly 1.0 on success; a caller that
// updates the interface hops to the main thread itself (LWJobContext::status does). Failures
// throw BCError with the user's sentence.
void exportVideo(const BCOpenedMedia& media, const Captions& captions, const CaptionStyle& style,
                 const QString& destination, const Progress& progress, std::stop_token stop = {});

// Writes the captions as SRT and then WebVTT beside `video` (same folder and base name, the last
// extension replaced), each atomically. Returns the two paths, SRT first. Throws BCError with the
// file system's sentence at the first failure; the WebVTT file is not tried when the SRT fails.
QStringList writeSidecars(const Captions& captions, const QString& video);

} // namespace BurnIn
