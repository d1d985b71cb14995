#pragma once

#include <QString>
#include <functional>
#include <memory>
#include <span>
#include <stop_token>

// Decodes the first sound track of a file to interleaved 32-bit floats at a chosen rate and
// channel count (libswresample does the mix-down or up-mix and the rate conversion; a mix-down
// is normalised so that it never exceeds the loudest input channel's range).
// Used by BCAudio::monoSamples (mono) and song mode's stereo read.
//
// One reader is one pass over the file, used by one thread at a time. The stop token is wired
// into FFmpeg's interrupt callback and checked before every buffer.
class BCAudioReader {
public:
    // Opens `path`. Throws BCError "This file has no sound track." when it has none, BCError "The
    // sound track can't be decoded." when the file or its sound cannot be opened for decoding
    // (FFmpeg's reason in `detail`), BCCancelled when `stop` fires. `rate` in samples per second
    // (8 000..192 000 are sensible), `channels` 1 or 2.
    BCAudioReader(const QString& path, int rate, int channels, std::stop_token stop = {});
    ~BCAudioReader();
    BCAudioReader(const BCAudioReader&) = delete;
    BCAudioReader& operator=(const BCAudioReader&) = delete;

    // The file's duration in seconds, 0 when the file does not say.
    double duration() const;
    int rate() const;
    int channels() const;

    // Receives one decoded buffer: frames × channels values, interleaved, every value finite
    // (damaged or crafted input that decodes to NaN or infinity gives 0 there). The span is only
    // valid during the call. Return false to stop reading early (not an error).
    using Buffer = std::function<bool(std::span<const float> interleaved)>;

    // Decodes to the end of the track (or until `onBuffer` returns false), on the calling thread.
    // Throws BCCancelled when the stop token fires, BCError "The sound track couldn't be read to
    // the end." when reading or decoding fails part way. Call once.
    void read(const Buffer& onBuffer);

private:
    struct Impl;
    std::unique_ptr<Impl> m;
};
