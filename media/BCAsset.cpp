#include "BCAsset.h"

#include "BCError.h"
#include "BCFFmpeg.h"

extern "C" {
#include <libavutil/display.h>
}

#include <algorithm>
#include <cmath>
#include <optional>

namespace {

double rateOf(AVRational rational) {
    return rational.num > 0 && rational.den > 0 ? av_q2d(rational) : 0.0;
}

// The display matrix {a b u; c d v; x y w} (a..d, x, y in 16.16 fixed point) as a transform
// with the same row-vector convention: x' = a·x + c·y + tx, y' = b·x + d·y + ty.
QTransform transformOf(const AVStream* stream) {
    const auto* matrix = reinterpret_cast<const int32_t*>(
        av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, nullptr));
    if (!matrix)
        return {};
    auto fixed = [&](int i) { return matrix[i] / 65536.0; };
    return QTransform(fixed(0), fixed(1), fixed(3), fixed(4), fixed(6), fixed(7));
}

BCVideoTrack videoTrack(const AVStream* stream) {
    const AVCodecParameters* par = stream->codecpar;
    BCVideoTrack track;
    track.codedSize = QSize(par->width, par->height);
    double aspect = rateOf(stream->sample_aspect_ratio);
    if (aspect <= 0)
        aspect = rateOf(par->sample_aspect_ratio);
    track.naturalSize = track.codedSize;
    if (aspect > 0 && aspect != 1)
        track.naturalSize.setWidth(int(std::lround(par->width * aspect)));
    track.transform = transformOf(stream);
    track.frameRate = rateOf(stream->avg_frame_rate);
    if (track.frameRate <= 0)
        track.frameRate = rateOf(stream->r_frame_rate);
    track.codec = QString::fromLatin1(avcodec_get_name(par->codec_id));
    switch (par->field_order) {
    case AV_FIELD_UNKNOWN:
        track.scan = BCVideoTrack::Scan::unknown;
        break;
    case AV_FIELD_PROGRESSIVE:
        track.scan = BCVideoTrack::Scan::progressive;
        break;
    default:
        track.scan = BCVideoTrack::Scan::interlaced;
        break;
    }
    return track;
}

// The real length of a file whose duration FFmpeg only estimated from the bit rate (raw ADTS
// AAC, VBR MP3 without a header): the end of its last packet, read once to the end of the file
// without decoding. Nothing when no packet carries a time.
std::optional<double> measuredDuration(AVFormatContext* context, const std::stop_token& stop) {
    const BCFFmpeg::PacketPtr packet = BCFFmpeg::makePacket();
    const double origin =
        context->start_time != AV_NOPTS_VALUE ? double(context->start_time) / AV_TIME_BASE : 0.0;
    double end = -1;
    for (unsigned count = 0; av_read_frame(context, packet.get()) >= 0; ++count) {
        const AVStream* stream = context->streams[packet->stream_index];
        const int64_t at = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
        if (at != AV_NOPTS_VALUE)
            end = std::max(end, double(at + std::max<int64_t>(packet->duration, 0)) *
                                    av_q2d(stream->time_base));
        av_packet_unref(packet.get());
        if (count % 512 == 0 && stop.stop_requested())
            throw BCCancelled{};
    }
    if (!(end > origin))
        return std::nullopt;
    return end - origin;
}

bool decodable(const AVFormatContext* context, int index) {
    return index < 0 || avcodec_find_decoder(context->streams[index]->codecpar->codec_id);
}

} // namespace

BCAsset BCAsset::load(const QString& path, std::stop_token stop) {
    int error = 0;
    const BCFFmpeg::InputPtr context = BCFFmpeg::openInput(path, &stop, &error);
    if (stop.stop_requested())
        throw BCCancelled{};
    if (!context)
        throw BCError(QStringLiteral("not readable"), BCFFmpeg::errorText(error));

    BCAsset asset;
    asset.path = path;
    asset.duration = BCFFmpeg::duration(context.get());
    if (context->duration_estimation_method == AVFMT_DURATION_FROM_BITRATE) {
        if (const auto measured = measuredDuration(context.get(), stop))
            asset.duration = *measured;
    }
    for (unsigned i = 0; i < context->nb_streams; ++i) {
        const AVStream* stream = context->streams[i];
        if (stream->disposition & AV_DISPOSITION_ATTACHED_PIC)
            continue;
        const AVCodecParameters* par = stream->codecpar;
        if (par->codec_type == AVMEDIA_TYPE_VIDEO) {
            asset.videoTracks.push_back(videoTrack(stream));
        } else if (par->codec_type == AVMEDIA_TYPE_AUDIO) {
            // A sound track may start after the picture (or after a gap at the file's start).
            double start = 0;
            if (stream->start_time != AV_NOPTS_VALUE) {
                start = double(stream->start_time) * av_q2d(stream->time_base);
                if (context->start_time != AV_NOPTS_VALUE)
                    start -= double(context->start_time) / AV_TIME_BASE;
            }
            asset.audioTracks.push_back({QString::fromLatin1(avcodec_get_name(par->codec_id)),
                                         par->sample_rate, par->ch_layout.nb_channels,
                                         std::isfinite(start) ? std::max(start, 0.0) : 0.0});
        }
    }
    asset.readable =
        decodable(context.get(), BCFFmpeg::firstStream(context.get(), AVMEDIA_TYPE_VIDEO)) &&
        decodable(context.get(), BCFFmpeg::firstStream(context.get(), AVMEDIA_TYPE_AUDIO));
    return asset;
}
