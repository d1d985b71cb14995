// The sound side of the burned-in export, and the packet writing both sides share.
#pragma once

#include "BCError.h"
#include "BCFFmpeg.h"

#include <cstdint>
#include <memory>

namespace BurnIn {

// The export's failure sentence for an FFmpeg status.
BCError failure(int code);

// Throws for a failed FFmpeg call: BCCancelled when the call was interrupted by a stop
// (AVERROR_EXIT from the interrupt callback), else the failure sentence.
[[noreturn]] void fail(int code);

class Writer {
public:
    explicit Writer(AVFormatContext* output) : m_output(output) {}

    // Writes one packet already in the stream's time base; throws on failure.
    void write(AVPacket* packet) {
        const int status = av_interleaved_write_frame(m_output, packet);
        if (status < 0)
            fail(status);
    }

private:
    AVFormatContext* m_output;
};

// Sends one frame (or the end, for nullptr) to an encoder and writes what comes out.
void encode(AVCodecContext* encoder, const AVFrame* frame, AVStream* stream, Writer& writer,
            AVPacket* packet);

// The sound of the result: the first sound track copied when MP4 can hold it, else decoded and
// encoded to AAC; only what falls inside 0..duration (seconds from the file's start).
class Sound {
public:
    // Adds the output stream, or nothing when the file has no usable sound.
    Sound(AVFormatContext* input, AVFormatContext* output, int64_t startOffset, double duration);
    ~Sound();

    bool present() const;
    int inputIndex() const;
    // One packet of the input's sound track.
    void packet(AVPacket* packet, Writer& writer);
    // What the decoder and encoder still hold.
    void finish(Writer& writer);

private:
    class Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace BurnIn
