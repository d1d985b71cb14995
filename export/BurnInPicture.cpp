#include "BurnInPicture.h"

#include "BCError.h"
#include "CaptionMath.h"
#include "CaptionRenderer.h"

extern "C" {
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <climits>
#include <cmath>

namespace BurnIn {

using namespace BCFFmpeg;

namespace {

const QString kNoVideoTrack = QStringLiteral("The video track can't be read.");

// Blends one overlay plane (ox, oy, ow × oh) into a picture plane (pw × ph), clipped to it.
void blendPlane(uint8_t* plane, int linesize, int pw, int ph, int ox, int oy, int ow, int oh,
                const uint8_t* alpha, const uint16_t* value) {
    const int x0 = std::max(0, ox);
    const int x1 = std::min(pw, ox + ow);
    const int y0 = std::max(0, oy);
    const int y1 = std::min(ph, oy + oh);
    for (int y = y0; y < y1; ++y) {
        uint8_t* row = plane + ptrdiff_t(y) * linesize;
        const size_t base = size_t(y - oy) * size_t(ow);
        for (int x = x0; x < x1; ++x) {
            const size_t at = base + size_t(x - ox);
            const unsigned a = alpha[at];
            if (a == 0)
                continue;
            row[x] = uint8_t((row[x] * (255u - a) + value[at] + 127u) / 255u);
        }
    }
}

// Copies a stored plane of sw × sh samples into a shown plane, turned by `o`.
void turnPlane(const Orientation& o, const uint8_t* src, int srcLinesize, int sw, int sh,
               uint8_t* dst, int dstLinesize, int dw, int dh) {
    // The shift that moves the turned plane back to the origin.
    const int xs[2] = {0, sw - 1};
    const int ys[2] = {0, sh - 1};
    int minX = INT32_MAX, minY = INT32_MAX;
    for (int x : xs)
        for (int y : ys) {
            minX = std::min(minX, o.a * x + o.c * y);
            minY = std::min(minY, o.b * x + o.d * y);
        }
    // Inverse of an orthogonal matrix is its transpose: x = a·X' + b·Y', y = c·X' + d·Y'.
    const int x00 = o.a * minX + o.b * minY;
    const int y00 = o.c * minX + o.d * minY;
    const ptrdiff_t start = ptrdiff_t(y00) * srcLinesize + x00;
    const ptrdiff_t stepX = ptrdiff_t(o.c) * srcLinesize + o.a;
    const ptrdiff_t stepY = ptrdiff_t(o.d) * srcLinesize + o.b;
    for (int Y = 0; Y < dh; ++Y) {
        const uint8_t* s = src + start + stepY * Y;
        uint8_t* row = dst + ptrdiff_t(Y) * dstLinesize;
        for (int X = 0; X < dw; ++X, s += stepX)
            row[X] = *s;
    }
}

bool fullRange(const AVFrame* frame) {
    switch (frame->format) {
    case AV_PIX_FMT_YUVJ420P:
    case AV_PIX_FMT_YUVJ422P:
    case AV_PIX_FMT_YUVJ444P:
    case AV_PIX_FMT_YUVJ440P:
    case AV_PIX_FMT_YUVJ411P:
        return true;
    default:
        return frame->color_range == AVCOL_RANGE_JPEG;
    }
}

} // namespace

void ScalerFreer::operator()(SwsContext* context) const {
    sws_freeContext(context);
}

Matrix matrixFor(AVColorSpace space, int height) {
    switch (space) {
    case AVCOL_SPC_BT709:
        return {0.2126, 0.0722};
    case AVCOL_SPC_BT470BG:
    case AVCOL_SPC_SMPTE170M:
    case AVCOL_SPC_FCC:
        return {0.299, 0.114};
    case AVCOL_SPC_BT2020_NCL:
    case AVCOL_SPC_BT2020_CL:
        return {0.2627, 0.0593};
    case AVCOL_SPC_SMPTE240M:
        return {0.212, 0.087};
    default:
        // Untagged pictures: what players assume, HD matrices from 720 lines up.
        return height >= 720 ? Matrix{0.2126, 0.0722} : Matrix{0.299, 0.114};
    }
}

Overlay toOverlay(const CaptionImage& caption, Matrix m) {
    const QImage image = caption.image.format() == QImage::Format_RGBA8888_Premultiplied
                             ? caption.image
                             : caption.image.convertToFormat(QImage::Format_RGBA8888_Premultiplied);
    Overlay o;
    o.start = caption.start;
    o.end = caption.end;
    o.x = caption.at.x() & ~1; // rounds down, negative values too
    o.y = caption.at.y() & ~1;
    const int dx = caption.at.x() - o.x;
    const int dy = caption.at.y() - o.y;
    o.w = (dx + image.width() + 1) & ~1;
    o.h = (dy + image.height() + 1) & ~1;
    const size_t full = size_t(o.w) * size_t(o.h);
    o.alpha.assign(full, 0);
    o.luma.assign(full, 0);
    const double kg = 1.0 - m.kr - m.kb;
    // Premultiplied colour per pixel (0..1), kept for the chroma averages.
    std::vector<float> cbFull(full, 0.f);
    std::vector<float> crFull(full, 0.f);
    std::vector<float> aFull(full, 0.f);
    for (int iy = 0; iy < image.height(); ++iy) {
        const uchar* row = image.constScanLine(iy);
        for (int ix = 0; ix < image.width(); ++ix) {
            const uchar* p = row + 4 * ix;
            if (p[3] == 0)
                continue;
            const double r = p[0] / 255.0;
            const double g = p[1] / 255.0;
            const double b = p[2] / 255.0;
            const double a = p[3] / 255.0;
            const double yPrime = m.kr * r + kg * g + m.kb * b;
            const size_t at = size_t(iy + dy) * size_t(o.w) + size_t(ix + dx);
            o.alpha[at] = p[3];
            o.luma[at] = uint16_t(std::lround((16.0 * a + 219.0 * yPrime) * 255.0));
            aFull[at] = float(a);
            cbFull[at] = float(128.0 * a + 224.0 * (b - yPrime) / (2.0 * (1.0 - m.kb)));
            crFull[at] = float(128.0 * a + 224.0 * (r - yPrime) / (2.0 * (1.0 - m.kr)));
        }
    }
    const int hw = o.w / 2;
    const int hh = o.h / 2;
    const size_t half = size_t(hw) * size_t(hh);
    o.alphaHalf.assign(half, 0);
    o.cb.assign(half, 0);
    o.cr.assign(half, 0);
    for (int cy = 0; cy < hh; ++cy)
        for (int cx = 0; cx < hw; ++cx) {
            double a = 0, cbSum = 0, crSum = 0;
            for (int k = 0; k < 4; ++k) {
                const size_t at = size_t(2 * cy + k / 2) * size_t(o.w) + size_t(2 * cx + k % 2);
                a += aFull[at];
                cbSum += cbFull[at];
                crSum += crFull[at];
            }
            const size_t at = size_t(cy) * size_t(hw) + size_t(cx);
            o.alphaHalf[at] = uint8_t(std::lround(a / 4.0 * 255.0));
            o.cb[at] = uint16_t(std::lround(cbSum / 4.0 * 255.0));
            o.cr[at] = uint16_t(std::lround(crSum / 4.0 * 255.0));
        }
    return o;
}

void blend(AVFrame* frame, const Overlay& o) {
    blendPlane(frame->data[0], frame->linesize[0], frame->width, frame->height, o.x, o.y, o.w, o.h,
               o.alpha.data(), o.luma.data());
    const int cw = frame->width / 2;
    const int ch = frame->height / 2;
    blendPlane(frame->data[1], frame->linesize[1], cw, ch, o.x / 2, o.y / 2, o.w / 2, o.h / 2,
               o.alphaHalf.data(), o.cb.data());
    blendPlane(frame->data[2], frame->linesize[2], cw, ch, o.x / 2, o.y / 2, o.w / 2, o.h / 2,
               o.alphaHalf.data(), o.cr.data());
}
CaptionImage captionImage(const Caption& caption, const CaptionStyle& style, QSize size) {
    const CaptionRenderer::Rendered drawn = CaptionRenderer::render(caption.text, style, size);
    CaptionImage item;
    item.image = drawn.image;
    // The image is the box rounded up; a bottom caption keeps its lower edge where the box's is.
    const int top = style.position == CaptionStyle::Position::bottom
                        ? int(std::lround(drawn.box.bottom())) - drawn.image.height()
                        : int(std::lround(drawn.box.y()));
    item.at = QPoint(int(std::lround(drawn.box.x())), top);
    item.start = caption.start;
    item.end = caption.start + std::max(std::max(caption.end - caption.start, 0.0), 0.04);
    return item;
}

std::vector<CaptionImage> captionImages(const Captions& captions, const CaptionStyle& style,
                                        QSize size) {
    std::vector<CaptionImage> images;
    for (const Caption& caption : CaptionMath::normalized(captions))
        images.push_back(captionImage(caption, style, size));
    return images;
}

Orientation orientationOf(const QTransform& t) {
    auto sign = [](double v) { return v < 0 ? -1 : 1; };
    Orientation o;
    if (std::fabs(t.m11()) >= std::fabs(t.m12())) {
        o.a = sign(t.m11());
        o.d = sign(t.m22());
        o.b = o.c = 0;
    } else {
        o.a = o.d = 0;
        o.b = sign(t.m12());
        o.c = sign(t.m21());
    }
    return o;
}

FramePtr pictureRef(const AVFrame* src) {
    FramePtr frame = makeFrame();
    frame->format = src->format;
    frame->width = src->width;
    frame->height = src->height;
    for (int i = 0; i < AV_NUM_DATA_POINTERS; ++i) {
        frame->data[i] = src->data[i];
        frame->linesize[i] = src->linesize[i];
        if (src->buf[i]) {
            frame->buf[i] = av_buffer_ref(src->buf[i]);
            if (!frame->buf[i])
                throw std::bad_alloc();
        }
    }
    frame->extended_data = frame->data;
    return frame;
}

FramePtr newPicture(int width, int height) {
    FramePtr frame = makeFrame();
    frame->format = AV_PIX_FMT_YUV420P;
    frame->width = width;
    frame->height = height;
    if (av_frame_get_buffer(frame.get(), 0) < 0)
        throw std::bad_alloc();
    return frame;
}

Picture::Picture(QSize out, Orientation turn) : m_out(out), m_turn(turn) {
    m_stored = turn.swapsSides() ? QSize(out.height(), out.width()) : out;
}

FramePtr Picture::prepare(const AVFrame* decoded) {
    const bool ready = decoded->format == AV_PIX_FMT_YUV420P && !fullRange(decoded) &&
                       decoded->width == m_stored.width() && decoded->height == m_stored.height();
    FramePtr stored;
    if (ready) {
        stored = pictureRef(decoded);
    } else {
        m_scaler.reset(sws_getCachedContext(m_scaler.release(), decoded->width, decoded->height,
                                            AVPixelFormat(decoded->format), m_stored.width(),
                                            m_stored.height(), AV_PIX_FMT_YUV420P, SWS_BICUBIC,
                                            nullptr, nullptr, nullptr));
        if (!m_scaler)
            throw BCError(kNoVideoTrack, QStringLiteral("no scaler for this picture"));
        const int* table = sws_getCoefficients(SWS_CS_DEFAULT);
        if (decoded->colorspace == AVCOL_SPC_BT709)
            table = sws_getCoefficients(SWS_CS_ITU709);
        sws_setColorspaceDetails(m_scaler.get(), table, fullRange(decoded) ? 1 : 0, table, 0, 0,
                                 1 << 16, 1 << 16);
        stored = newPicture(m_stored.width(), m_stored.height());
        sws_scale(m_scaler.get(), decoded->data, decoded->linesize, 0, decoded->height,
                  stored->data, stored->linesize);
    }
    if (m_turn.identity())
        return stored;
    FramePtr shown = newPicture(m_out.width(), m_out.height());
    for (int p = 0; p < 3; ++p) {
        const int shift = p == 0 ? 0 : 1;
        turnPlane(m_turn, stored->data[p], stored->linesize[p], stored->width >> shift,
                  stored->height >> shift, shown->data[p], shown->linesize[p],
                  shown->width >> shift, shown->height >> shift);
    }
    return shown;
}

} // namespace BurnIn
