#include "SoftSubs.h"

#include "BCError.h"
#include "BCFFmpeg.h"
#include "BCFileTarget.h"
#include "BCMovieIndex.h"
#include "CaptionMath.h"

#include <QFile>
#include <QFileInfo>
#include <QTextBoundaryFinder>
#include <QtEndian>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <vector>

namespace SoftSubs {

namespace {

const char kFont[] = "Helvetica";

// Seconds to whole milliseconds, halves away from zero, within what a cue time can hold.
qint64 milliseconds(double seconds) {
    const double ms = std::round(seconds * 1000.0);
    return qint64(std::clamp(ms, 0.0, 1e15));
}

// UTF-8 bytes of one code point written by QString::toUtf8 (a lone surrogate becomes U+FFFD).
int utf8Length(char32_t codePoint) {
    if (codePoint < 0x80)
        return 1;
    if (codePoint < 0x800)
        return 2;
    if (codePoint < 0x10000)
        return 3;
    return 4;
}

// `text` cut after the last whole character (grapheme cluster) whose UTF-8 form still fits.
QString fitted(const QString& text) {
    if (text.size() * 3 <= maxTextBytes || text.toUtf8().size() <= maxTextBytes)
        return text;
    qsizetype bytes = 0;
    qsizetype at = 0;
    while (at < text.size()) {
        char32_t codePoint = text[at].unicode();
        qsizetype units = 1;
        if (text[at].isHighSurrogate() && at + 1 < text.size() && text[at + 1].isLowSurrogate()) {
            codePoint = QChar::surrogateToUcs4(text[at], text[at + 1]);
            units = 2;
        }
        const int length = utf8Length(codePoint);
        if (bytes + length > maxTextBytes)
            break;
        bytes += length;
        at += units;
    }
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    finder.setPosition(at);
    if (!finder.isAtBoundary())
        at = std::max<qsizetype>(finder.toPreviousBoundary(), 0);
    return text.left(at);
}

QString containerName(bool mov) {
    return mov ? QStringLiteral("a MOV") : QStringLiteral("an MP4");
}

QString failed(int status) {
    return QStringLiteral("The export failed: %1.").arg(BCFFmpeg::errorText(status));
}

// The input streams to copy: every video stream (not cover art), then every audio stream.
std::vector<int> copiedStreams(const AVFormatContext* input) {
    std::vector<int> list;
    for (const AVMediaType type : {AVMEDIA_TYPE_VIDEO, AVMEDIA_TYPE_AUDIO}) {
        for (unsigned i = 0; i < input->nb_streams; ++i) {
            const AVStream* stream = input->streams[i];
            if (stream->codecpar->codec_type != type ||
                (stream->disposition & AV_DISPOSITION_ATTACHED_PIC))
                continue;
            if (stream->codecpar->codec_id == AV_CODEC_ID_NONE)
                throw BCError(QStringLiteral("This file's %1 can't be copied.")
                                  .arg(type == AVMEDIA_TYPE_VIDEO ? QStringLiteral("picture")
                                                                  : QStringLiteral("sound")));
            list.push_back(int(i));
        }
    }
    return list;
}

// Adds a stream-copy twin of `source` to `output`; FFmpeg's status.
int addCopy(AVFormatContext* output, const AVStream* source) {
    AVStream* target = avformat_new_stream(output, nullptr);
    if (!target)
        return AVERROR(ENOMEM);
    const int status = avcodec_parameters_copy(target->codecpar, source->codecpar);
    if (status < 0)
        return status;
    target->codecpar->codec_tag = 0; // the muxer picks the tag its container uses
    target->time_base = source->time_base;
    size_t size = 0;
    if (const uint8_t* matrix = av_stream_get_side_data(source, AV_PKT_DATA_DISPLAYMATRIX, &size)) {
        uint8_t* copy = av_stream_new_side_data(target, AV_PKT_DATA_DISPLAYMATRIX, size);
        if (!copy)
            return AVERROR(ENOMEM);
        std::memcpy(copy, matrix, size);
    }
    return 0;
}

// Adds the text track: mov_text whose extradata is the sample entry after its size, type,
// reserved bytes and data-reference index (the muxer writes those), in milliseconds.
int addText(AVFormatContext* output, bool mov) {
    AVStream* text = avformat_new_stream(output, nullptr);
    if (!text)
        return AVERROR(ENOMEM);
    const QByteArray entry = textDescription().mid(16);
    auto* extradata =
        static_cast<uint8_t*>(av_mallocz(size_t(entry.size()) + AV_INPUT_BUFFER_PADDING_SIZE));
    if (!extradata)
        throw BCError(QStringLiteral("The system couldn't make the subtitle track (error %1).")
                          .arg(AVERROR(ENOMEM)));
    std::memcpy(extradata, entry.constData(), size_t(entry.size()));
    text->codecpar->extradata = extradata;
    text->codecpar->extradata_size = int(entry.size());
    text->codecpar->codec_type = AVMEDIA_TYPE_SUBTITLE;
    text->codecpar->codec_id = AV_CODEC_ID_MOV_TEXT;
    // Without the tag a QuickTime movie gets a QuickTime "text" entry instead of "tx3g".
    text->codecpar->codec_tag = mov ? MKTAG('t', 'x', '3', 'g') : 0;
    text->time_base = AVRational{1, 1000};
    text->disposition = AV_DISPOSITION_DEFAULT; // the track is enabled
    return av_dict_set(&text->metadata, "language", "eng", 0);
}

// The muxer options: no "btrt" box inside the MP4 sample entries, so the text entry stays the
// 68 bytes of textDescription().
AVDictionary* muxerOptions(bool mov) {
    AVDictionary* options = nullptr;
    if (!mov)
        av_dict_set(&options, "write_btrt", "0", 0);
    return options;
}

// Whether the container takes the streams that `add` puts in, tried on a memory buffer so
// nothing is written: the muxer's own checks run in avformat_init_output.
bool accepts(const AVOutputFormat* format, bool mov,
             const std::function<int(AVFormatContext*)>& add) {
    AVFormatContext* context = nullptr;
    if (avformat_alloc_output_context2(&context, format, nullptr, nullptr) < 0 || !context)
        return false;
    struct Release {
        AVFormatContext* context;
        ~Release() {
            if (context->pb) {
                uint8_t* buffer = nullptr;
                avio_close_dyn_buf(context->pb, &buffer);
                av_free(buffer);
                context->pb = nullptr;
            }
            avformat_free_context(context);
        }
    } release{context};
    if (add(context) < 0 || avio_open_dyn_buf(&context->pb) < 0)
        return false;
    AVDictionary* options = muxerOptions(mov);
    const int status = avformat_init_output(context, &options);
    av_dict_free(&options);
    return status >= 0;
}

} // namespace

Cues cues(const Captions& captions, double duration) {
    Cues list;
    if (!(duration > 0) || !std::isfinite(duration))
        return list;
    const qint64 total = milliseconds(duration);
    qint64 cursor = 0;
    const auto add = [&list](QString text, qint64 from, qint64 to) {
        list.append(Cue{std::move(text), double(from) / 1000.0, double(to - from) / 1000.0});
    };
    for (const Caption& caption : CaptionMath::normalized(captions)) {
        if (!std::isfinite(caption.start) || !std::isfinite(caption.end) ||
            !(caption.start < duration))
            continue;
        // Never before the end of the cue before: the track has no overlaps.
        const qint64 start = std::max(milliseconds(caption.start), cursor);
        if (cursor < start)
            add(QString(), cursor, start);
        const qint64 end = milliseconds(std::min(caption.end, duration));
        if (start < end)
            add(fitted(caption.text.trimmed()), start, end);
        cursor = std::max(cursor, end);
    }
    if (cursor < total)
        add(QString(), cursor, total);
    return list;
}

QByteArray textDescription() {
    const int fontLength = int(std::strlen(kFont));
    QByteArray entry(59 + fontLength, '\0');
    auto* d = reinterpret_cast<uchar*>(entry.data());
    qToBigEndian<quint32>(quint32(entry.size()), d);
    std::memcpy(d + 4, "tx3g", 4);
    qToBigEndian<quint16>(1, d + 14); // data reference index
    // 16: display flags 0
    d[20] = 1;    // centred
    d[21] = 0xFF; // bottom
    // 22: transparent background; 26: default text box 0, 0, 0, 0
    // 34: default style: characters 0 to 0, font 1, plain, 18 points, opaque white
    qToBigEndian<quint16>(1, d + 38);
    d[41] = 18;
    std::memset(d + 42, 0xFF, 4);
    qToBigEndian<quint32>(quint32(13 + fontLength), d + 46);
    std::memcpy(d + 50, "ftab", 4);
    qToBigEndian<quint16>(1, d + 54); // one font
    qToBigEndian<quint16>(1, d + 56); // its identifier
    d[58] = uchar(fontLength);
    std::memcpy(d + 59, kFont, size_t(fontLength));
    return entry;
}

QByteArray sample(const Cue& cue) {
    const QByteArray utf8 = cue.text.toUtf8();
    if (utf8.size() > maxTextBytes)
        throw BCError(QStringLiteral("Subtitle sample failed."));
    QByteArray bytes(2, '\0');
    qToBigEndian<quint16>(quint16(utf8.size()), bytes.data());
    bytes.append(utf8);
    return bytes;
}

bool isMov(const QString& path) {
    return QFileInfo(path).suffix().compare(QStringLiteral("mov"), Qt::CaseInsensitive) == 0;
}

void exportVideo(const BCOpenedMedia& media, const Captions& captions, const QString& destination,
                 const Progress& progress, std::stop_token stop) {
    const std::stop_token token = stop;
    const auto checkStop = [&token] {
        if (token.stop_requested())
            throw BCCancelled{};
    };

    const QString source =
        media.asset.path.isEmpty() ? media.playable.toLocalFile() : media.asset.path;
    if (BurnIn::isSourceOf(media, destination))
        throw BCError(BurnIn::replacesSourceSentence());

    std::vector<QByteArray> samples;
    std::vector<std::pair<qint64, qint64>> times; // start and duration in milliseconds
    for (const Cue& cue : cues(captions, media.duration)) {
        samples.push_back(sample(cue));
        times.emplace_back(milliseconds(cue.start), milliseconds(cue.duration));
    }

    int error = 0;
    const BCFFmpeg::InputPtr input = BCFFmpeg::openInput(source, &token, &error);
    checkStop();
    if (!input)
        throw BCError(
            QStringLiteral("The file couldn't be read: %1.").arg(BCFFmpeg::errorText(error)));

    const bool mov = isMov(destination);
    const AVOutputFormat* format = av_guess_format(mov ? "mov" : "mp4", nullptr, nullptr);
    if (!format)
        throw BCError(
            QStringLiteral("The system can't add a subtitle track to this kind of file."));
    const std::vector<int> copied = copiedStreams(input.get());
    for (const int index : copied) {
        const AVStream* stream = input->streams[index];
        if (!accepts(format, mov, [stream](AVFormatContext* c) { return addCopy(c, stream); }))
            throw BCError(
                QStringLiteral("This file's %1 format can't go into %2 without re-encoding. Try "
                               "the other container (MOV accepts more formats), or export a "
                               "burned-in MP4.")
                    .arg(stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO
                             ? QStringLiteral("video")
                             : QStringLiteral("audio"),
                         containerName(mov)));
    }
    if (!accepts(format, mov, [mov](AVFormatContext* c) { return addText(c, mov); }))
        throw BCError(
            QStringLiteral("The system can't add a subtitle track to this kind of file."));
    checkStop();

    // Declared before the muxer so that the muxer has closed its file when the target goes.
    BCFileTarget target(destination);
    const QByteArray path = QFile::encodeName(target.path());
    const auto cantWrite = [](int status) {
        return BCError(QStringLiteral("The new file couldn't be written: %1.")
                           .arg(BCFFmpeg::errorText(status)));
    };
    AVFormatContext* made = nullptr;
    if (const int status = avformat_alloc_output_context2(&made, format, nullptr, path.constData());
        status < 0 || !made)
        throw cantWrite(status < 0 ? status : AVERROR(ENOMEM));
    BCFFmpeg::OutputPtr output(made);
    output->interrupt_callback = BCFFmpeg::interruptFor(&token);

    std::vector<int> map(input->nb_streams, -1);
    std::vector<bool> isVideo(input->nb_streams, false);
    for (const int index : copied) {
        if (const int status = addCopy(output.get(), input->streams[index]); status < 0)
            throw cantWrite(status);
        map[size_t(index)] = int(output->nb_streams) - 1;
        isVideo[size_t(index)] = input->streams[index]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO;
    }
    if (const int status = addText(output.get(), mov); status < 0)
        throw cantWrite(status);
    const int text = int(output->nb_streams) - 1;

    if (const int status = avio_open2(&output->pb, path.constData(), AVIO_FLAG_WRITE,
                                      &output->interrupt_callback, nullptr);
        status < 0) {
        checkStop();
        throw cantWrite(status);
    }
    AVDictionary* options = muxerOptions(mov);
    const int header = avformat_write_header(output.get(), &options);
    av_dict_free(&options);
    if (header < 0) {
        checkStop();
        throw cantWrite(header);
    }

    const BCFFmpeg::PacketPtr packet = BCFFmpeg::makePacket();
    const auto write = [&] {
        const int status = av_write_frame(output.get(), packet.get());
        av_packet_unref(packet.get());
        if (status < 0) {
            checkStop();
            throw BCError(failed(status));
        }
    };

    // Every subtitle sample first: interleaved with the other tracks, FFmpeg's muxer puts an
    // empty sample before each cue. Caption times count from the file's start, which is where
    // the copied packets' own times begin: a source that starts at 1 s gets its cues 1 s on,
    // so each shows on the same picture as in the burned-in export.
    const AVRational milli{1, 1000};
    const qint64 origin = input->start_time != AV_NOPTS_VALUE
                              ? av_rescale_q(input->start_time, AV_TIME_BASE_Q, milli)
                              : 0;
    for (size_t i = 0; i < samples.size(); ++i) {
        checkStop();
        if (av_new_packet(packet.get(), int(samples[i].size())) < 0)
            throw std::bad_alloc();
        std::memcpy(packet->data, samples[i].constData(), size_t(samples[i].size()));
        packet->pts = packet->dts = times[i].first + origin;
        packet->duration = times[i].second;
        packet->flags |= AV_PKT_FLAG_KEY;
        packet->stream_index = text;
        av_packet_rescale_ts(packet.get(), milli, output->streams[text]->time_base);
        write();
    }

    double shown = -1;
    while (true) {
        checkStop();
        const int status = av_read_frame(input.get(), packet.get());
        if (status == AVERROR_EOF)
            break;
        if (status < 0) {
            checkStop();
            throw BCError(failed(status));
        }
        const int from = packet->stream_index;
        const int to = map[size_t(from)];
        if (to < 0) {
            av_packet_unref(packet.get());
            continue;
        }
        if (isVideo[size_t(from)] && media.duration > 0 && progress) {
            const AVStream* stream = input->streams[from];
            int64_t at = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
            if (at != AV_NOPTS_VALUE && stream->start_time != AV_NOPTS_VALUE)
                at -= stream->start_time; // times count from the file's first picture
            if (at != AV_NOPTS_VALUE) {
                const double fraction =
                    std::clamp(double(at) * av_q2d(stream->time_base) / media.duration, 0.0, 0.99);
                if (fraction >= shown + 0.001) {
                    shown = fraction;
                    progress(fraction);
                }
            }
        }
        av_packet_rescale_ts(packet.get(), input->streams[from]->time_base,
                             output->streams[to]->time_base);
        packet->stream_index = to;
        packet->pos = -1;
        write();
    }
    if (const int status = av_write_trailer(output.get()); status < 0) {
        checkStop();
        throw BCError(failed(status));
    }
    const int closed = avio_closep(&output->pb);
    output.reset();
    checkStop();
    if (closed < 0)
        throw BCError(failed(closed));

    BCMovieIndex::addSelectionFollower(target.path());
    checkStop();
    target.commit();
    if (progress)
        progress(1.0);
}

} // namespace SoftSubs
