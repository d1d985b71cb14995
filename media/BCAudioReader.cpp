#include "BCAudioReader.h"

#include "BCError.h"
#include "BCFFmpeg.h"

extern "C" {
#include <libavutil/opt.h>
}

#include <cmath>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace {

const QString kNoTrack = QStringLiteral("This file has no sound track.");
const QString kCantDecode = QStringLiteral("The sound track can't be decoded.");
const QString kNotToTheEnd = QStringLiteral("The sound track couldn't be read to the end.");

// Decoded frames on their way from the decoding thread to the reading thread, in batches (one
// wake-up per batch, not per frame) and at most `capacity` batches at a time, so decoding and
// resampling run side by side on two cores.
using FrameBatch = std::vector<BCFFmpeg::FramePtr>;

class FrameQueue {
public:
    static constexpr size_t batchSize = 32;

    // The decoder's side: waits for room; false once the reader has gone.
    bool push(FrameBatch batch) {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return m_batches.size() < capacity || m_left; });
        if (m_left)
            return false;
        m_batches.push_back(std::move(batch));
        m_changed.notify_all();
        return true;
    }
    // The decoder's last word: the end, or the error that stopped it.
    void finish(std::exception_ptr error) {
        const std::lock_guard lock(m_mutex);
        m_finished = true;
        m_error = std::move(error);
        m_changed.notify_all();
    }
    bool left() const {
        const std::lock_guard lock(m_mutex);
        return m_left;
    }

    // The reader's side: the next batch, or an empty one at the end (with the decoder's error).
    FrameBatch pop(std::exception_ptr& error) {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return !m_batches.empty() || m_finished; });
        if (m_batches.empty()) {
            error = m_error;
            return {};
        }
        FrameBatch batch = std::move(m_batches.front());
        m_batches.pop_front();
        m_changed.notify_all();
        return batch;
    }
    // The reader has gone (done, stopped or failed): the decoder stops at its next step.
    void leave() {
        const std::lock_guard lock(m_mutex);
        m_left = true;
        m_changed.notify_all();
    }

private:
    static constexpr size_t capacity = 3;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<FrameBatch> m_batches;
    std::exception_ptr m_error;
    bool m_finished = false;
    bool m_left = false;
};

} // namespace

struct BCAudioReader::Impl {
    std::stop_token stop; // first: the format context's interrupt callback points at it
    BCFFmpeg::InputPtr format;
    BCFFmpeg::CodecPtr codec;
    BCFFmpeg::ResamplerPtr resampler;
    int stream = -1;
    int rate = 0;
    int channels = 0;
    double duration = 0;
    bool used = false;

    // The input the resampler was made for.
    int inFormat = -1;
    int inRate = 0;
    AVChannelLayout inLayout{};
    AVChannelLayout outLayout{};
    std::vector<float> out;

    ~Impl() {
        av_channel_layout_uninit(&inLayout);
        av_channel_layout_uninit(&outLayout);
    }

    void checkStop() const {
        if (stop.stop_requested())
            throw BCCancelled{};
    }

    // Resamples `count` frames of `data` (nullptr: the resampler's remaining delay) and hands
    // the result on; false when the receiver wants no more.
    bool deliver(const uint8_t** data, int count, const Buffer& onBuffer) {
        if (!resampler)
            return true;
        const int room = swr_get_out_samples(resampler.get(), count);
        if (room <= 0)
            return true;
        out.resize(size_t(room) * size_t(channels));
        auto* target = reinterpret_cast<uint8_t*>(out.data());
        const int made = swr_convert(resampler.get(), &target, room, data, count);
        if (made < 0)
            throw BCError(kNotToTheEnd, BCFFmpeg::errorText(made));
        if (made == 0)
            return true;
        const size_t values = size_t(made) * size_t(channels);
        for (size_t i = 0; i < values; ++i) {
            if (!std::isfinite(out[i]))
                out[i] = 0.0f;
        }
        checkStop();
        return onBuffer(std::span<const float>(out.data(), values));
    }

    // Makes the resampler for this frame's format, first draining the old one when the input
    // changed part way (a stream that switches from stereo to 5.1, say).
    bool configure(const AVFrame* frame, const Buffer& onBuffer) {
        AVChannelLayout layout{};
        if (frame->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC || frame->ch_layout.nb_channels < 1)
            av_channel_layout_default(&layout, std::max(frame->ch_layout.nb_channels, 1));
        else
            av_channel_layout_copy(&layout, &frame->ch_layout);
        if (resampler && frame->format == inFormat && frame->sample_rate == inRate &&
            av_channel_layout_compare(&layout, &inLayout) == 0) {
            av_channel_layout_uninit(&layout);
            return true;
        }
        const bool more = deliver(nullptr, 0, onBuffer);
        resampler.reset();
        av_channel_layout_uninit(&inLayout);
        inLayout = layout; // takes ownership
        inFormat = frame->format;
        inRate = frame->sample_rate;
        if (!more)
            return false;

        SwrContext* made = nullptr;
        int status = swr_alloc_set_opts2(&made, &outLayout, AV_SAMPLE_FMT_FLT, rate, &inLayout,
                                         AVSampleFormat(inFormat), inRate, 0, nullptr);
        resampler.reset(made);
        if (status >= 0) {
            // Normalise mix-downs (stereo to mono is the mean of the two channels).
            av_opt_set_double(made, "rematrix_maxval", 1.0, 0);
            status = swr_init(made);
        }
        if (status < 0)
            throw BCError(kNotToTheEnd, BCFFmpeg::errorText(status));
        return true;
    }

    // Decoding thread: hands every decoded frame of the track to `queue`, then its end or
    // error. Touches only the format and codec contexts, which the reader leaves alone.
    void decodeAll(FrameQueue& queue) {
        try {
            const BCFFmpeg::PacketPtr packet = BCFFmpeg::makePacket();
            const BCFFmpeg::FramePtr frame = BCFFmpeg::makeFrame();
            FrameBatch batch;
            batch.reserve(FrameQueue::batchSize);
            while (!queue.left() && !stop.stop_requested()) {
                const int status = av_read_frame(format.get(), packet.get());
                if (status == AVERROR_EXIT)
                    break; // stopped: the reader sees the token
                if (status == AVERROR_EOF || (status < 0 && format->pb && avio_feof(format->pb))) {
                    // The end, or a last packet cut short by the end of the file.
                    if (avcodec_send_packet(codec.get(), nullptr) >= 0)
                        receiveAll(frame.get(), batch);
                    if (!batch.empty())
                        queue.push(std::move(batch));
                    break;
                }
                if (status < 0)
                    throw BCError(kNotToTheEnd, BCFFmpeg::errorText(status));
                if (packet->stream_index != stream) {
                    av_packet_unref(packet.get());
                    continue;
                }
                const int sent = avcodec_send_packet(codec.get(), packet.get());
                av_packet_unref(packet.get());
                if (sent < 0 && sent != AVERROR(EAGAIN) && sent != AVERROR_INVALIDDATA)
                    throw BCError(kNotToTheEnd, BCFFmpeg::errorText(sent));
                receiveAll(frame.get(), batch);
                if (batch.size() >= FrameQueue::batchSize) {
                    if (!queue.push(std::move(batch)))
                        break;
                    batch = FrameBatch();
                    batch.reserve(FrameQueue::batchSize);
                }
            }
            queue.finish(nullptr);
        } catch (...) {
            queue.finish(std::current_exception());
        }
    }

    // Moves every frame the decoder has ready into `batch`.
    void receiveAll(AVFrame* frame, FrameBatch& batch) {
        while (true) {
            const int status = avcodec_receive_frame(codec.get(), frame);
            if (status == AVERROR(EAGAIN) || status == AVERROR_EOF)
                return;
            if (status == AVERROR_INVALIDDATA)
                continue; // a damaged frame is skipped, as the ffmpeg program does
            if (status < 0)
                throw BCError(kNotToTheEnd, BCFFmpeg::errorText(status));
            if (frame->sample_rate <= 0 || frame->nb_samples <= 0) {
                av_frame_unref(frame);
                continue;
            }
            BCFFmpeg::FramePtr decoded = BCFFmpeg::makeFrame();
            av_frame_move_ref(decoded.get(), frame);
            batch.push_back(std::move(decoded));
        }
    }
};

BCAudioReader::BCAudioReader(const QString& path, int rate, int channels, std::stop_token stop)
    : m(std::make_unique<Impl>()) {
    m->stop = std::move(stop);
    m->rate = rate;
    m->channels = channels;
    av_channel_layout_default(&m->outLayout, channels);

    int error = 0;
    m->format = BCFFmpeg::openInput(path, &m->stop, &error);
    m->checkStop();
    if (!m->format)
        throw BCError(kCantDecode, BCFFmpeg::errorText(error));
    const double duration = BCFFmpeg::duration(m->format.get());
    m->duration = std::isfinite(duration) ? duration : 0.0;
    m->stream = BCFFmpeg::firstStream(m->format.get(), AVMEDIA_TYPE_AUDIO);
    if (m->stream < 0)
        throw BCError(kNoTrack);
    for (unsigned i = 0; i < m->format->nb_streams; ++i) {
        if (int(i) != m->stream)
            m->format->streams[i]->discard = AVDISCARD_ALL; // the demuxer skips their data
    }

    const AVStream* stream = m->format->streams[m->stream];
    const AVCodec* decoder = avcodec_find_decoder(stream->codecpar->codec_id);
    if (!decoder)
        throw BCError(
            kCantDecode,
            QStringLiteral("no decoder for %1").arg(avcodec_get_name(stream->codecpar->codec_id)));
    m->codec.reset(avcodec_alloc_context3(decoder));
    if (!m->codec)
        throw std::bad_alloc();
    int status = avcodec_parameters_to_context(m->codec.get(), stream->codecpar);
    if (status >= 0) {
        m->codec->pkt_timebase = stream->time_base;
        status = avcodec_open2(m->codec.get(), decoder, nullptr);
    }
    if (status < 0)
        throw BCError(kCantDecode, BCFFmpeg::errorText(status));
}

BCAudioReader::~BCAudioReader() = default;

double BCAudioReader::duration() const {
    return m->duration;
}

int BCAudioReader::rate() const {
    return m->rate;
}

int BCAudioReader::channels() const {
    return m->channels;
}

void BCAudioReader::read(const Buffer& onBuffer) {
    if (m->used)
        throw std::logic_error("BCAudioReader::read called twice");
    m->used = true;
    m->checkStop();
    FrameQueue queue;
    std::jthread decoder([this, &queue] { m->decodeAll(queue); });
    // Declared after the thread, so it runs first on every way out: the decoder ends, then joins.
    struct Leave {
        FrameQueue& queue;
        ~Leave() { queue.leave(); }
    } leave{queue};

    while (true) {
        m->checkStop();
        std::exception_ptr error;
        const FrameBatch batch = queue.pop(error);
        if (batch.empty()) {
            if (error)
                std::rethrow_exception(error);
            break;
        }
        for (const BCFFmpeg::FramePtr& frame : batch) {
            m->checkStop();
            if (!m->configure(frame.get(), onBuffer) ||
                !m->deliver(const_cast<const uint8_t**>(frame->extended_data), frame->nb_samples,
                            onBuffer))
                return;
        }
    }
    m->checkStop();
    m->deliver(nullptr, 0, onBuffer); // the resampler's last samples
}
