// The picture side of the burned-in export: caption images converted to the picture's own pixel
// format and drawn only while they show, and decoded pictures turned upright at the render size.
#pragma once

#include "BCFFmpeg.h"
#include "BurnIn.h"

#include <QTransform>
#include <cstdint>
#include <memory>
#include <vector>

struct SwsContext;

namespace BurnIn {

// Luma and chroma weights of a Y'CbCr matrix.
struct Matrix {
    double kr;
    double kb;
};

Matrix matrixFor(AVColorSpace space, int height);

// One caption as premultiplied limited-range Y'CbCr planes with their alpha, placed on even
// coordinates so the half-size chroma planes line up. Values are the premultiplied sample × 255;
// blending is out = (in × (255 − a) + value) / 255.
struct Overlay {
    int x = 0; // even
    int y = 0; // even
    int w = 0; // even
    int h = 0; // even
    std::vector<uint8_t> alpha;
    std::vector<uint16_t> luma;
    std::vector<uint8_t> alphaHalf;
    std::vector<uint16_t> cb;
    std::vector<uint16_t> cr;
    double start = 0;
    double end = 0;
};

// The overlay of one caption image in the picture's format, for the matrix `m`.
Overlay toOverlay(const CaptionImage& caption, Matrix m);

// Blends the overlay into a yuv420p picture, clipped to it.
void blend(AVFrame* frame, const Overlay& o);

// The display matrix rounded to one of the eight right-angle turns and flips, as the mapping of
// a stored pixel (x, y) to a shown one: X = a·x + c·y + tx, Y = b·x + d·y + ty.
struct Orientation {
    int a = 1, b = 0, c = 0, d = 1;
    bool identity() const { return a == 1 && d == 1; }
    bool swapsSides() const { return a == 0; }
};

Orientation orientationOf(const QTransform& t);

// A new frame sharing `src`'s picture buffers without its properties (picture type, side data),
// which the encoder would otherwise take as instructions.
BCFFmpeg::FramePtr pictureRef(const AVFrame* src);

BCFFmpeg::FramePtr newPicture(int width, int height);

struct ScalerFreer {
    void operator()(SwsContext* context) const;
};

// Brings decoded pictures to the output: yuv420p in limited range at the render size, upright.
class Picture {
public:
    Picture(QSize out, Orientation turn);

    BCFFmpeg::FramePtr prepare(const AVFrame* decoded);

private:
    QSize m_out;
    QSize m_stored;
    Orientation m_turn;
    std::unique_ptr<SwsContext, ScalerFreer> m_scaler;
};

} // namespace BurnIn
