// The burned-in export's driver on FFmpeg: the first video track decoded, turned upright, brought
// to the render size and a constant frame rate by time, each caption's image blended into the
// frames of its span (BurnInPicture), H.264 through libx264, MP4 with the index at the start;
// the sound beside it (BurnInSound).
#include "BCError.h"
#include "BCFFmpeg.h"
#include "BCFileTarget.h"
#include "BurnIn.h"
#include "BurnInPicture.h"
#include "BurnInSound.h"

#include <QFile>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

namespace BurnIn {

namespace {

using namespace BCFFmpeg;

const QString kNeedsVideo =
    QStringLiteral("Burned-in captions need a video file. For audio files export SRT, VTT or TXT.");
const QString kNoVideoTrack = QStringLiteral("The video track can't be read.");
const QString kNoSession = QStringLiteral("The system couldn't start the export.");

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
} // namespace

void exportVideo(const BCOpenedMedia& media, const Captions& captions, const CaptionStyle& style,
                 const QString& destination, const Progress& progress, std::stop_token stop) {
    if (!media.hasVideo)
        throw BCError(kNeedsVideo);
    if (isSourceOf(media, destination))
        throw BCError(replacesSourceSentence());

    const std::stop_token token = stop;
    auto checkStop = [&token] {
        if (token.stop_requested())
            throw BCCancelled{};
    };
    // An FFmpeg failure: a stop when one was asked for, else the export's failure sentence.
    auto failed = [&](int code) -> BCError {
        checkStop();
        return failure(code);
    };

    // --- The source ---
    int status = 0;
    InputPtr input = openInput(media.asset.path, &token, &status);
    if (!input)
        throw failed(status);
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
    // Each caption is drawn when its first frame is made, on this thread.
    CaptionSchedule<Overlay> schedule(captions, style, size, [matrix](const CaptionImage& image) {
        return toOverlay(image, matrix);
    });
    Picture picture(size, turn);

    // --- The result, written beside the destination ---
    BCFileTarget target(destination);
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
        throw failed(status);
    AVDictionary* muxOptions = nullptr;
    av_dict_set(&muxOptions, "movflags", "+faststart", 0);
    status = avformat_write_header(output.get(), &muxOptions);
    av_dict_free(&muxOptions);
    if (status < 0)
        throw failed(status);

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
        throw failed(status);
    status = avio_closep(&output->pb);
    if (status < 0)
        throw failed(status);
    poller.stop();
    checkStop();
    target.commit();
    if (progress)
        progress(1.0);
}

} // namespace BurnIn
