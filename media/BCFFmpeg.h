#pragma once

// The FFmpeg handles of the media layer, each owned by a std::unique_ptr with the library's own
// free function, and the interrupt callback that ties every blocking FFmpeg call to a job's
// std::stop_token. Only files in media/ include this header.

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/avutil.h>
#include <libswresample/swresample.h>
}

#include <QString>
#include <memory>
#include <stop_token>

namespace BCFFmpeg {

struct FormatCloser {
    void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};
struct OutputFormatFreer {
    void operator()(AVFormatContext* context) const;
};
struct CodecFreer {
    void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct FrameFreer {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct PacketFreer {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct ResamplerFreer {
    void operator()(SwrContext* context) const { swr_free(&context); }
};

using InputPtr = std::unique_ptr<AVFormatContext, FormatCloser>;
using OutputPtr = std::unique_ptr<AVFormatContext, OutputFormatFreer>; // closes its file too
using CodecPtr = std::unique_ptr<AVCodecContext, CodecFreer>;
using FramePtr = std::unique_ptr<AVFrame, FrameFreer>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFreer>;
using ResamplerPtr = std::unique_ptr<SwrContext, ResamplerFreer>;

FramePtr makeFrame();   // throws std::bad_alloc
PacketPtr makePacket(); // throws std::bad_alloc

// FFmpeg's text for an error code.
QString errorText(int code);

// The callback FFmpeg polls inside every blocking call: it answers 1 once `stop` fires.
// `token` must outlive the format context it is installed in.
AVIOInterruptCB interruptFor(const std::stop_token* token);

// Opens `path` for reading and reads its stream information, with `*stop` wired into the
// interrupt callback (the token must outlive the returned context). Returns the FFmpeg error code
// through `error` (0 on success) and an empty pointer on failure; a stop gives AVERROR_EXIT.
InputPtr openInput(const QString& path, const std::stop_token* stop, int* error = nullptr);

// The index of the first stream of that media type that is not an attached picture, or -1.
int firstStream(const AVFormatContext* context, AVMediaType type);

// The file's duration in seconds: the container's, else its longest stream's; NaN when unknown.
double duration(const AVFormatContext* context);

// Silences FFmpeg's own log (errors come back as codes) unless LOROWEN_FFMPEG_LOG is set; once.
void initialise();

} // namespace BCFFmpeg
