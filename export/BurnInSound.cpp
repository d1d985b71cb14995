#include "BurnInSound.h"

extern "C" {
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
}

#include <algorithm>
#include <cmath>

namespace BurnIn {

using namespace BCFFmpeg;

namespace {

struct FifoFreer {
    void operator()(AVAudioFifo* fifo) const { av_audio_fifo_free(fifo); }
};

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
} // namespace

BCError failure(int code) {
    // Without a reason from FFmpeg the sentence ends there, rather than on "unknown error".
    const QString reason = code < 0 ? errorText(code) : QString();
    if (reason.isEmpty())
        return BCError(QStringLiteral("The export failed."));
    return BCError(QStringLiteral("The export failed: %1.").arg(reason));
}

void fail(int code) {
    if (code == AVERROR_EXIT)
        throw BCCancelled{};
    throw failure(code);
}

void encode(AVCodecContext* encoder, const AVFrame* frame, AVStream* stream, Writer& writer,
            AVPacket* packet) {
    int status = avcodec_send_frame(encoder, frame);
    if (status < 0 && status != AVERROR_EOF)
        fail(status);
    while (true) {
        status = avcodec_receive_packet(encoder, packet);
        if (status == AVERROR(EAGAIN) || status == AVERROR_EOF)
            return;
        if (status < 0)
            fail(status);
        if (packet->duration <= 0 && encoder->codec_type == AVMEDIA_TYPE_VIDEO)
            packet->duration = 1;
        av_packet_rescale_ts(packet, encoder->time_base, stream->time_base);
        packet->stream_index = stream->index;
        writer.write(packet);
    }
}
// The sound of the result: the first sound track copied, or decoded and encoded to AAC.
class Sound::Impl {
public:
    Impl(AVFormatContext* input, AVFormatContext* output, int64_t startOffset, double duration)
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
Sound::Sound(AVFormatContext* input, AVFormatContext* output, int64_t startOffset, double duration)
    : m_impl(std::make_unique<Impl>(input, output, startOffset, duration)) {}

Sound::~Sound() = default;

bool Sound::present() const {
    return m_impl->present();
}

int Sound::inputIndex() const {
    return m_impl->inputIndex();
}

void Sound::packet(AVPacket* packet, Writer& writer) {
    m_impl->packet(packet, writer);
}

void Sound::finish(Writer& writer) {
    m_impl->finish(writer);
}

} // namespace BurnIn
