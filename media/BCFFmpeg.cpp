#include "BCFFmpeg.h"

#include <QFile>
#include <algorithm>
#include <limits>
#include <mutex>
#include <new>

namespace BCFFmpeg {

namespace {

int interruptRequested(void* opaque) {
    const auto* token = static_cast<const std::stop_token*>(opaque);
    return token && token->stop_requested() ? 1 : 0;
}

} // namespace

void OutputFormatFreer::operator()(AVFormatContext* context) const {
    if (!context)
        return;
    if (context->pb && !(context->oformat->flags & AVFMT_NOFILE))
        avio_closep(&context->pb);
    avformat_free_context(context);
}

FramePtr makeFrame() {
    FramePtr frame(av_frame_alloc());
    if (!frame)
        throw std::bad_alloc();
    return frame;
}

PacketPtr makePacket() {
    PacketPtr packet(av_packet_alloc());
    if (!packet)
        throw std::bad_alloc();
    return packet;
}

QString errorText(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return QString::fromUtf8(text);
}

AVIOInterruptCB interruptFor(const std::stop_token* token) {
    return AVIOInterruptCB{interruptRequested, const_cast<std::stop_token*>(token)};
}

InputPtr openInput(const QString& path, const std::stop_token* stop, int* error) {
    initialise();
    int status = 0;
    InputPtr result;
    AVFormatContext* context = avformat_alloc_context();
    if (!context) {
        status = AVERROR(ENOMEM);
    } else {
        context->interrupt_callback = interruptFor(stop);
        // On failure avformat_open_input frees the context itself.
        status =
            avformat_open_input(&context, QFile::encodeName(path).constData(), nullptr, nullptr);
        if (status >= 0) {
            result.reset(context);
            status = avformat_find_stream_info(context, nullptr);
            if (status < 0)
                result.reset();
        }
    }
    if (stop && stop->stop_requested()) {
        result.reset();
        status = AVERROR_EXIT;
    }
    if (error)
        *error = result ? 0 : status;
    return result;
}

int firstStream(const AVFormatContext* context, AVMediaType type) {
    for (unsigned i = 0; i < context->nb_streams; ++i) {
        const AVStream* stream = context->streams[i];
        if (stream->codecpar->codec_type == type &&
            !(stream->disposition & AV_DISPOSITION_ATTACHED_PIC))
            return int(i);
    }
    return -1;
}

double duration(const AVFormatContext* context) {
    if (context->duration != AV_NOPTS_VALUE && context->duration > 0)
        return double(context->duration) / AV_TIME_BASE;
    double longest = 0;
    for (unsigned i = 0; i < context->nb_streams; ++i) {
        const AVStream* stream = context->streams[i];
        if (stream->duration != AV_NOPTS_VALUE && stream->duration > 0)
            longest = std::max(longest, double(stream->duration) * av_q2d(stream->time_base));
    }
    return longest > 0 ? longest : std::numeric_limits<double>::quiet_NaN();
}

void initialise() {
    static std::once_flag once;
    std::call_once(once, [] {
        if (qEnvironmentVariableIsEmpty("LOROWEN_FFMPEG_LOG"))
            av_log_set_level(AV_LOG_QUIET);
    });
}

} // namespace BCFFmpeg
