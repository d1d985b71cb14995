// The burned-in export on FFmpeg: the first video track decoded, turned upright, brought to the
// render size and a constant frame rate by time, each caption's pre-drawn image blended into the
// frames of its span, H.264 through libx264, MP4 with the index at the start; the first sound
// track copied when MP4 can hold it, else encoded to AAC.
#include "BCError.h"
#include "BCExportTarget.h"
#include "BCFFmpeg.h"
#include "BurnIn.h"
#include "CaptionMath.h"
#include "CaptionRenderer.h"

extern "C" {
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <QFile>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include <sys/stat.h>

namespace BurnIn {

namespace {

using namespace BCFFmpeg;

const QString kNeedsVideo =
    QStringLiteral("Burned-in captions need a video file. For audio files export SRT, VTT or TXT.");
const QString kNoVideoTrack = QStringLiteral("The video track can't be read.");
const QString kNoSession = QStringLiteral("The system couldn't start the export.");

BCError failure(int code) {
    QString reason = code < 0 ? errorText(code) : QString();
    if (reason.isEmpty())
        reason = QStringLiteral("unknown error");
    return BCError(QStringLiteral("The export failed: %1.").arg(reason));
}

struct ScalerFreer {
    void operator()(SwsContext* context) const { sws_freeContext(context); }
};
struct FifoFreer {
    void operator()(AVAudioFifo* fifo) const { av_audio_fifo_free(fifo); }
};
struct DictFreer {
    void operator()(AVDictionary* dict) const { av_dict_free(&dict); }
};

// --- Caption images in the picture's own pixel format ---

// Luma and chroma weights of a Y'CbCr matrix.
struct Matrix {
    double kr;
    double kb;
};

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

// The captions showing at each output frame, for frame times that only grow.
class Schedule {
public:
    explicit Schedule(std::vector<Overlay> overlays) : m_overlays(std::move(overlays)) {}

    // In list order, so later captions are drawn over earlier ones.
    const std::vector<const Overlay*>& at(double t) {
        constexpr double slack = 1e-9; // frame times computed as i / rate
        while (m_next < m_overlays.size() && m_overlays[m_next].start <= t + slack)
            m_active.push_back(&m_overlays[m_next++]);
        std::erase_if(m_active, [t](const Overlay* o) { return !(t + slack < o->end); });
        return m_active;
    }

private:
    std::vector<Overlay> m_overlays;
    std::vector<const Overlay*> m_active;
    size_t m_next = 0;
};

// --- Turning the picture upright ---

// The display matrix rounded to one of the eight right-angle turns and flips, as the mapping of
// a stored pixel (x, y) to a shown one: X = a·x + c·y + tx, Y = b·x + d·y + ty.
struct Orientation {
    int a = 1, b = 0, c = 0, d = 1;
    bool identity() const { return a == 1 && d == 1; }
    bool swapsSides() const { return a == 0; }
};

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

// A new frame sharing `src`'s picture buffers without its properties (picture type, side data),
// which the encoder would otherwise take as instructions.
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

// Brings decoded pictures to the output: yuv420p in limited range at the render size, upright.
class Picture {
public:
    Picture(QSize out, Orientation turn) : m_out(out), m_turn(turn) {
        m_stored = turn.swapsSides() ? QSize(out.height(), out.width()) : out;
    }

    FramePtr prepare(const AVFrame* decoded) {
        const bool ready = decoded->format == AV_PIX_FMT_YUV420P && !fullRange(decoded) &&
                           decoded->width == m_stored.width() &&
                           decoded->height == m_stored.height();
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

private:
    QSize m_out;
    QSize m_stored;
    Orientation m_turn;
    std::unique_ptr<SwsContext, ScalerFreer> m_scaler;
};

// --- Writing ---

class Writer {
public:
    explicit Writer(AVFormatContext* output) : m_output(output) {}

    // Writes one packet already in the stream's time base; throws on failure.
    void write(AVPacket* packet) {
        const int status = av_interleaved_write_frame(m_output, packet);
        if (status < 0)
            throw failure(status);
    }

private:
    AVFormatContext* m_output;
};

// Sends one frame (or the end, for nullptr) to an encoder and writes what comes out.
void encode(AVCodecContext* encoder, const AVFrame* frame, AVStream* stream, Writer& writer,
            AVPacket* packet) {
    int status = avcodec_send_frame(encoder, frame);
    if (status < 0 && status != AVERROR_EOF)
        throw failure(status);
    while (true) {
        status = avcodec_receive_packet(encoder, packet);
        if (status == AVERROR(EAGAIN) || status == AVERROR_EOF)
            return;
        if (status < 0)
            throw failure(status);
        if (packet->duration <= 0 && encoder->codec_type == AVMEDIA_TYPE_VIDEO)
            packet->duration = 1;
        av_packet_rescale_ts(packet, encoder->time_base, stream->time_base);
        packet->stream_index = stream->index;
        writer.write(packet);
    }
}

// Whether the MP4 muxer takes this sound stream as it is: a header written to memory.
bool mp4Holds(const AVCodecParameters* parameters) {
    const AVOutputFormat* mp4 = av_guess_format("mp4", nullptr, nullptr);
    if (!mp4 || avformat_query_codec(mp4, parameters->codec_id, FF_COMPLIANCE_NORMAL) != 1)
        return false;
    AVFormatContext* raw = nullptr;
    if (avformat_alloc_output_context2(&raw, mp4, nullptr, nullptr) < 0 || !raw)
        return false;
    std::unique_ptr<AVFormatContext, decltype(&avformat_free_context)> trial(raw,
                                                                             avformat_free_context);
    AVStream* stream = avformat_new_stream(raw, nullptr);
    if (!stream || avcodec_parameters_copy(stream->codecpar, parameters) < 0)
        return false;
    stream->codecpar->codec_tag = 0;
    stream->time_base = {1, std::max(1, parameters->sample_rate)};
    if (avio_open_dyn_buf(&raw->pb) < 0)
        return false;
    const int status = avformat_write_header(raw, nullptr);
    uint8_t* bytes = nullptr;
    avio_close_dyn_buf(raw->pb, &bytes);
    av_free(bytes);
    raw->pb = nullptr;
    return status >= 0;
}

// The sound of the result: the first sound track copied, or decoded and encoded to AAC.
class Sound {
public:
    // Adds the output stream, or nothing when the file has no usable sound.
    Sound(AVFormatContext* input, AVFormatContext* output, int64_t startOffset, double duration)
        : m_startOffset(startOffset), m_duration(duration) {
        const int index = firstStream(input, AVMEDIA_TYPE_AUDIO);
        if (index < 0)
            return;
        m_in = input->streams[index];
        if (mp4Holds(m_in->codecpar))
            setUpCopy(output);
        else
            setUpEncode(output);
    }

    bool present() const { return m_out != nullptr; }
    int inputIndex() const { return m_in ? m_in->index : -1; }

    void packet(AVPacket* packet, Writer& writer) {
        if (!m_out)
            return;
        const int64_t offset = av_rescale_q(m_startOffset, AV_TIME_BASE_Q, m_in->time_base);
        if (packet->pts != AV_NOPTS_VALUE &&
            double(packet->pts - offset) * av_q2d(m_in->time_base) >= m_duration)
            return;
        if (m_copy) {
            if (packet->pts != AV_NOPTS_VALUE)
                packet->pts -= offset;
            if (packet->dts != AV_NOPTS_VALUE)
                packet->dts -= offset;
            av_packet_rescale_ts(packet, m_in->time_base, m_out->time_base);
            packet->stream_index = m_out->index;
            packet->pos = -1;
            writer.write(packet);
            return;
        }
        if (avcodec_send_packet(m_decoder.get(), packet) < 0)
            return; // a damaged packet is skipped
        drainDecoder(writer);
    }

    void finish(Writer& writer) {
        if (!m_out || m_copy)
            return;
        avcodec_send_packet(m_decoder.get(), nullptr);
        drainDecoder(writer);
        // What the resampler still holds, then a short last frame.
        convert(nullptr, writer);
        pushFrames(writer, true);
        encode(m_encoder.get(), nullptr, m_out, writer, m_packet.get());
    }

private:
    void setUpCopy(AVFormatContext* output) {
        m_out = avformat_new_stream(output, nullptr);
        if (!m_out || avcodec_parameters_copy(m_out->codecpar, m_in->codecpar) < 0) {
            m_out = nullptr;
            return;
        }
        m_out->codecpar->codec_tag = 0;
        m_out->time_base = m_in->time_base;
        m_copy = true;
    }

    void setUpEncode(AVFormatContext* output) {
        const AVCodec* decoder = avcodec_find_decoder(m_in->codecpar->codec_id);
        const AVCodec* aac = avcodec_find_encoder(AV_CODEC_ID_AAC);
        if (!decoder || !aac)
            return;
        m_decoder.reset(avcodec_alloc_context3(decoder));
        if (!m_decoder || avcodec_parameters_to_context(m_decoder.get(), m_in->codecpar) < 0)
            return;
        m_decoder->pkt_timebase = m_in->time_base;
        if (avcodec_open2(m_decoder.get(), decoder, nullptr) < 0 || m_decoder->sample_rate <= 0)
            return;
        AVChannelLayout inLayout{};
        if (m_decoder->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC ||
            m_decoder->ch_layout.nb_channels <= 0)
            av_channel_layout_default(&inLayout, std::max(1, m_decoder->ch_layout.nb_channels));
        else
            av_channel_layout_copy(&inLayout, &m_decoder->ch_layout);

        m_encoder.reset(avcodec_alloc_context3(aac));
        if (!m_encoder)
            return;
        int rate = 48000;
        for (const int* r = aac->supported_samplerates; r && *r; ++r)
            if (*r == m_decoder->sample_rate)
                rate = *r;
        m_encoder->sample_rate = rate;
        m_encoder->sample_fmt = AV_SAMPLE_FMT_FLTP;
        av_channel_layout_default(&m_encoder->ch_layout, inLayout.nb_channels == 1 ? 1 : 2);
        m_encoder->bit_rate = 192000;
        m_encoder->time_base = {1, rate};
        if (output->oformat->flags & AVFMT_GLOBALHEADER)
            m_encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        SwrContext* resampler = nullptr;
        const bool ready =
            avcodec_open2(m_encoder.get(), aac, nullptr) >= 0 &&
            swr_alloc_set_opts2(&resampler, &m_encoder->ch_layout, AV_SAMPLE_FMT_FLTP, rate,
                                &inLayout, m_decoder->sample_fmt, m_decoder->sample_rate, 0,
                                nullptr) >= 0;
        m_resampler.reset(resampler);
        av_channel_layout_uninit(&inLayout);
        if (!ready || swr_init(m_resampler.get()) < 0)
            return;
        m_fifo.reset(av_audio_fifo_alloc(AV_SAMPLE_FMT_FLTP, m_encoder->ch_layout.nb_channels,
                                         m_encoder->frame_size * 4));
        if (!m_fifo)
            return;
        m_out = avformat_new_stream(output, nullptr);
        if (!m_out || avcodec_parameters_from_context(m_out->codecpar, m_encoder.get()) < 0) {
            m_out = nullptr;
            return;
        }
        m_out->time_base = m_encoder->time_base;
        m_decoded = makeFrame();
        m_packet = makePacket();
    }

    void drainDecoder(Writer& writer) {
        while (avcodec_receive_frame(m_decoder.get(), m_decoded.get()) >= 0) {
            const int64_t ts = m_decoded->best_effort_timestamp;
            const double t = ts == AV_NOPTS_VALUE ? 0.0
                                                  : double(ts) * av_q2d(m_in->time_base) -
                                                        double(m_startOffset) / AV_TIME_BASE;
            if (t < m_duration) {
                if (!m_started) {
                    m_nextPts = std::max<int64_t>(0, std::llround(t * m_encoder->sample_rate));
                    m_started = true;
                }
                convert(m_decoded.get(), writer);
            }
            av_frame_unref(m_decoded.get());
        }
    }

    void convert(const AVFrame* in, Writer& writer) {
        if (!m_started)
            return;
        const int room = swr_get_out_samples(m_resampler.get(), in ? in->nb_samples : 0);
        if (room <= 0)
            return;
        FramePtr converted = makeFrame();
        converted->format = AV_SAMPLE_FMT_FLTP;
        converted->nb_samples = room;
        av_channel_layout_copy(&converted->ch_layout, &m_encoder->ch_layout);
        if (av_frame_get_buffer(converted.get(), 0) < 0)
            throw std::bad_alloc();
        const int made = swr_convert(m_resampler.get(), converted->data, room,
                                     in ? const_cast<const uint8_t**>(in->extended_data) : nullptr,
                                     in ? in->nb_samples : 0);
        if (made > 0)
            av_audio_fifo_write(m_fifo.get(), reinterpret_cast<void**>(converted->data), made);
        pushFrames(writer, false);
    }

    void pushFrames(Writer& writer, bool last) {
        const int size = m_encoder->frame_size;
        while (av_audio_fifo_size(m_fifo.get()) >= size ||
               (last && av_audio_fifo_size(m_fifo.get()) > 0)) {
            const int count = std::min(size, av_audio_fifo_size(m_fifo.get()));
            FramePtr frame = makeFrame();
            frame->format = AV_SAMPLE_FMT_FLTP;
            frame->nb_samples = count;
            frame->sample_rate = m_encoder->sample_rate;
            av_channel_layout_copy(&frame->ch_layout, &m_encoder->ch_layout);
            if (av_frame_get_buffer(frame.get(), 0) < 0)
                throw std::bad_alloc();
            av_audio_fifo_read(m_fifo.get(), reinterpret_cast<void**>(frame->data), count);
            frame->pts = m_nextPts;
            m_nextPts += count;
            encode(m_encoder.get(), frame.get(), m_out, writer, m_packet.get());
        }
    }

    int64_t m_startOffset;
    double m_duration;
    AVStream* m_in = nullptr;
    AVStream* m_out = nullptr;
    bool m_copy = false;
    CodecPtr m_decoder;
    CodecPtr m_encoder;
    ResamplerPtr m_resampler;
    std::unique_ptr<AVAudioFifo, FifoFreer> m_fifo;
    FramePtr m_decoded;
    PacketPtr m_packet;
    bool m_started = false;
    int64_t m_nextPts = 0;
};

// Calls `progress` with the latest fraction every 0.15 s until stopped.
class Poller {
public:
    Poller(const Progress& progress, const std::atomic<double>& fraction)
        : m_thread([&progress, &fraction, this](std::stop_token stop) {
              std::unique_lock lock(m_mutex);
              while (!stop.stop_requested()) {
                  if (progress)
                      progress(fraction.load());
                  m_wake.wait_for(lock, stop, std::chrono::milliseconds(150), [] { return false; });
              }
          }) {}

    void stop() {
        m_thread.request_stop();
        if (m_thread.joinable())
            m_thread.join();
    }

private:
    std::mutex m_mutex;
    std::condition_variable_any m_wake;
    std::jthread m_thread; // last, so it starts after the members it uses exist
};

// Clears the job's hooks on every way out of the export.
struct JobGuard {
    Job& job;
    ~JobGuard() { job.clear(); }
};

} // namespace

bool isSourceOf(const BCOpenedMedia& media, const QString& destination) {
    struct stat target {};
    if (::stat(QFile::encodeName(destination).constData(), &target) != 0)
        return false; // nothing there yet
    for (const QUrl& url : {media.original, media.playable}) {
        struct stat source {};
        if (url.isLocalFile() &&
            ::stat(QFile::encodeName(url.toLocalFile()).constData(), &source) == 0 &&
            source.st_dev == target.st_dev && source.st_ino == target.st_ino)
            return true;
    }
    return false;
}

QString replacesSourceSentence() {
    return QStringLiteral(
        "The export can't replace the file it is made from. Choose another name.");
}

QString savedNote(const QString& fileName, bool sidecars, bool sidecarsWritten) {
    QString note = QStringLiteral("Saved ") + fileName;
    if (sidecars)
        note += sidecarsWritten ? QStringLiteral(" (+ .srt and .vtt beside it)")
                                : QStringLiteral(" (the .srt and .vtt files couldn't be written)");
    return note + u'.';
}

QSize renderSize(QSizeF displayed) {
    auto even = [](double side) { return std::max(2, int(std::round(std::fabs(side) / 2.0)) * 2); };
    return {even(displayed.width()), even(displayed.height())};
}

int frameRate(double nominal) {
    if (!(nominal > 1))
        return 30;
    return int(std::clamp(std::round(nominal), 10.0, 60.0));
}

std::vector<CaptionImage> captionImages(const Captions& captions, const CaptionStyle& style,
                                        QSize size) {
    std::vector<CaptionImage> images;
    for (const Caption& caption : CaptionMath::normalized(captions)) {
        const CaptionRenderer::Rendered drawn = CaptionRenderer::render(caption.text, style, size);
        CaptionImage item;
        item.image = drawn.image;
        // The image is the box rounded up; a bottom caption keeps its lower edge where the box's
        // is.
        const int top = style.position == CaptionStyle::Position::bottom
                            ? int(std::lround(drawn.box.bottom())) - drawn.image.height()
                            : int(std::lround(drawn.box.y()));
        item.at = QPoint(int(std::lround(drawn.box.x())), top);
        item.start = caption.start;
        item.end = caption.start + std::max(std::max(caption.end - caption.start, 0.0), 0.04);
        images.push_back(std::move(item));
    }
    return images;
}

void exportVideo(const BCOpenedMedia& media, const Captions& captions, const CaptionStyle& style,
                 const QString& destination, Job& job, const Progress& progress,
                 std::stop_token stop) {
    if (!media.hasVideo)
        throw BCError(kNeedsVideo);
    if (isSourceOf(media, destination))
        throw BCError(replacesSourceSentence());

    // One stop for everything: the caller's token and the job's cancel hook both pull it.
    std::stop_source cancel;
    const std::stop_token token = cancel.get_token();
    JobGuard guard{job};
    job.setSession([cancel]() mutable { cancel.request_stop(); });
    std::stop_callback forward(stop, [cancel]() mutable { cancel.request_stop(); });
    auto checkStop = [&token] {
        if (token.stop_requested())
            throw BCCancelled{};
    };
    // An FFmpeg failure: a stop when one was asked for, else the export's failure sentence.
    auto fail = [&](int code) -> BCError {
        checkStop();
        return failure(code);
    };

    // --- The source ---
    int status = 0;
    InputPtr input = openInput(media.asset.path, &token, &status);
    if (!input)
        throw fail(status);
    const int videoIndex = firstStream(input.get(), AVMEDIA_TYPE_VIDEO);
    if (videoIndex < 0)
        throw BCError(kNoVideoTrack);
    AVStream* source = input->streams[videoIndex];
    const AVCodec* videoDecoder = avcodec_find_decoder(source->codecpar->codec_id);
    if (!videoDecoder)
        throw BCError(kNoVideoTrack);
    CodecPtr decoder(avcodec_alloc_context3(videoDecoder));
    if (!decoder || avcodec_parameters_to_context(decoder.get(), source->codecpar) < 0)
        throw BCError(kNoVideoTrack);
    decoder->pkt_timebase = source->time_base;
    decoder->thread_count = 0; // automatic
    decoder->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    if (avcodec_open2(decoder.get(), videoDecoder, nullptr) < 0)
        throw BCError(kNoVideoTrack);
    const int64_t startOffset = input->start_time == AV_NOPTS_VALUE ? 0 : input->start_time;
    const double duration = media.duration;

    // --- The picture's geometry and the captions drawn for it ---
    const QSize size = renderSize(QSizeF(media.naturalSize));
    const int rate = frameRate(media.nominalFrameRate);
    const Orientation turn = orientationOf(media.preferredTransform);
    const Matrix matrix = matrixFor(source->codecpar->color_space, size.height());
    std::vector<Overlay> overlays;
    for (const CaptionImage& image : captionImages(captions, style, size)) {
        checkStop();
        if (!image.image.isNull())
            overlays.push_back(toOverlay(image, matrix));
    }
    Schedule schedule(std::move(overlays));
    Picture picture(size, turn);

    // --- The result, written beside the destination ---
    BCExportTarget target(destination);
    const QByteArray targetPath = QFile::encodeName(target.path());
    AVFormatContext* rawOutput = nullptr;
    if (avformat_alloc_output_context2(&rawOutput, nullptr, "mp4", targetPath.constData()) < 0 ||
        !rawOutput)
        throw BCError(kNoSession);
    OutputPtr output(rawOutput);

    const AVCodec* x264 = avcodec_find_encoder_by_name("libx264");
    if (!x264)
        throw BCError(kNoSession, QStringLiteral("no libx264 encoder"));
    CodecPtr encoder(avcodec_alloc_context3(x264));
    if (!encoder)
        throw BCError(kNoSession);
    encoder->width = size.width();
    encoder->height = size.height();
    encoder->pix_fmt = AV_PIX_FMT_YUV420P;
    encoder->sample_aspect_ratio = {1, 1};
    encoder->time_base = {1, rate};
    encoder->framerate = {rate, 1};
    encoder->thread_count = 0; // automatic, as the ffmpeg program opens it
    encoder->color_range = AVCOL_RANGE_MPEG;
    if (source->codecpar->color_space != AVCOL_SPC_RGB)
        encoder->colorspace = source->codecpar->color_space;
    encoder->color_primaries = source->codecpar->color_primaries;
    encoder->color_trc = source->codecpar->color_trc;
    if (output->oformat->flags & AVFMT_GLOBALHEADER)
        encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    AVDictionary* rawOptions = nullptr;
    av_dict_set(&rawOptions, "preset", "medium", 0);
    av_dict_set(&rawOptions, "crf", "18", 0);
    av_dict_set(&rawOptions, "profile", "high", 0);
    status = avcodec_open2(encoder.get(), x264, &rawOptions);
    av_dict_free(&rawOptions);
    if (status < 0)
        throw BCError(kNoSession, errorText(status));

    AVStream* video = avformat_new_stream(output.get(), nullptr);
    if (!video || avcodec_parameters_from_context(video->codecpar, encoder.get()) < 0)
        throw BCError(kNoSession);
    video->time_base = encoder->time_base;
    video->avg_frame_rate = {rate, 1};
    video->r_frame_rate = {rate, 1};

    Sound sound(input.get(), output.get(), startOffset, duration);

    output->interrupt_callback = interruptFor(&token);
    status = avio_open2(&output->pb, targetPath.constData(), AVIO_FLAG_WRITE,
                        &output->interrupt_callback, nullptr);
    if (status < 0)
        throw fail(status);
    AVDictionary* muxOptions = nullptr;
    av_dict_set(&muxOptions, "movflags", "+faststart", 0);
    status = avformat_write_header(output.get(), &muxOptions);
    av_dict_free(&muxOptions);
    if (status < 0)
        throw fail(status);

    // --- Frames placed by time ---
    std::atomic<double> fraction{0.0};
    const int64_t expected = std::max<int64_t>(1, std::llround(duration * rate));
    Poller poller(progress, fraction);
    Writer writer(output.get());
    PacketPtr packet = makePacket();
    PacketPtr encoded = makePacket();
    FramePtr decoded = makeFrame();

    FramePtr held;        // the latest source frame, not yet shown past its time
    FramePtr heldShown;   // `held` made ready for the output, on first use
    double heldTime = 0;  // seconds from the file's start
    double heldEnd = 0;   // where the held frame's own time ends
    int64_t nextSlot = 0; // the next output frame, shown at nextSlot / rate
    // Sends output frames up to (not including) `lastSlot`, each showing the held frame.
    auto emitUntil = [&](int64_t lastSlot) {
        for (; nextSlot < lastSlot; ++nextSlot) {
            checkStop();
            if (!heldShown)
                heldShown = picture.prepare(held.get());
            const double t = double(nextSlot) / rate;
            const auto& showing = schedule.at(t);
            FramePtr frame;
            if (showing.empty()) {
                frame = pictureRef(heldShown.get());
            } else {
                frame = newPicture(size.width(), size.height());
                av_frame_copy(frame.get(), heldShown.get());
                for (const Overlay* o : showing)
                    blend(frame.get(), *o);
            }
            frame->pts = nextSlot;
            encode(encoder.get(), frame.get(), video, writer, encoded.get());
            fraction.store(std::min(0.99, double(nextSlot + 1) / double(expected)));
        }
    };
    auto takeFrame = [&](AVFrame* frame) {
        const int64_t ts = frame->best_effort_timestamp;
        const double t = ts == AV_NOPTS_VALUE ? heldTime + 1.0 / rate
                                              : double(ts) * av_q2d(source->time_base) -
                                                    double(startOffset) / AV_TIME_BASE;
        if (t >= duration)
            return;
        if (held) {
            // Output frame i shows the latest source frame at or before (i + ½) / rate.
            const int64_t slot = int64_t(std::ceil(t * rate - 0.5 + 1e-6));
            emitUntil(std::min(expected, std::max(nextSlot, slot)));
        }
        double length =
            frame->pkt_duration > 0 ? double(frame->pkt_duration) * av_q2d(source->time_base) : 0.0;
        if (!(length > 0))
            length =
                source->avg_frame_rate.num > 0 ? 1.0 / av_q2d(source->avg_frame_rate) : 1.0 / rate;
        held = pictureRef(frame);
        heldShown.reset();
        heldTime = t;
        heldEnd = std::max(heldEnd, t + length);
    };
    auto drainVideo = [&] {
        while (true) {
            status = avcodec_receive_frame(decoder.get(), decoded.get());
            if (status == AVERROR(EAGAIN) || status == AVERROR_EOF)
                return;
            if (status < 0)
                return; // a damaged picture: carry on with the next
            takeFrame(decoded.get());
            av_frame_unref(decoded.get());
        }
    };

    while (true) {
        checkStop();
        status = av_read_frame(input.get(), packet.get());
        if (status == AVERROR_EOF)
            break;
        if (status < 0) {
            checkStop();
            if (status == AVERROR(EAGAIN))
                continue;
            break; // a damaged end of file: keep what was read
        }
        if (packet->stream_index == videoIndex) {
            // A damaged packet is refused and skipped; the decoder goes on with the next.
            avcodec_send_packet(decoder.get(), packet.get());
            drainVideo();
        } else if (packet->stream_index == sound.inputIndex()) {
            sound.packet(packet.get(), writer);
        }
        av_packet_unref(packet.get());
    }
    avcodec_send_packet(decoder.get(), nullptr);
    drainVideo();
    if (!held)
        throw BCError(kNoVideoTrack, QStringLiteral("no picture decoded"));
    const double videoEnd = std::min(duration, heldEnd);
    emitUntil(std::max<int64_t>(nextSlot, std::max<int64_t>(1, std::llround(videoEnd * rate))));
    encode(encoder.get(), nullptr, video, writer, encoded.get());
    sound.finish(writer);
    checkStop();
    status = av_write_trailer(output.get());
    if (status < 0)
        throw fail(status);
    status = avio_closep(&output->pb);
    if (status < 0)
        throw fail(status);
    poller.stop();
    checkStop();
    target.commit();
    if (progress)
        progress(1.0);
}

} // namespace BurnIn
