#include "BCRemux.h"

#include "BCError.h"
#include "BCFFmpeg.h"

#include <QFile>
#include <vector>

namespace BCRemux {

namespace {

const QString kCantExport = QStringLiteral("The system can't export this file");

void check(int status, const std::stop_token& stop) {
    if (stop.stop_requested())
        throw BCCancelled{};
    if (status < 0)
        throw BCError(BCFFmpeg::errorText(status));
}

} // namespace

void toMov(const QString& input, const QString& output, std::stop_token stop) {
    int error = 0;
    const BCFFmpeg::InputPtr in = BCFFmpeg::openInput(input, &stop, &error);
    if (stop.stop_requested())
        throw BCCancelled{};
    if (!in)
        throw BCError(kCantExport, BCFFmpeg::errorText(error));

    const AVOutputFormat* mov = av_guess_format("mov", nullptr, nullptr);
    std::vector<int> chosen;
    for (const AVMediaType type : {AVMEDIA_TYPE_VIDEO, AVMEDIA_TYPE_AUDIO}) {
        const int index = BCFFmpeg::firstStream(in.get(), type);
        if (index < 0)
            continue;
        if (!mov || avformat_query_codec(mov, in->streams[index]->codecpar->codec_id,
                                         FF_COMPLIANCE_NORMAL) != 1)
            throw BCError(kCantExport,
                          QStringLiteral("%1 doesn't go into a MOV")
                              .arg(avcodec_get_name(in->streams[index]->codecpar->codec_id)));
        chosen.push_back(index);
    }
    if (chosen.empty())
        throw BCError(kCantExport, QStringLiteral("no video or sound stream"));

    AVFormatContext* made = nullptr;
    const QByteArray path = QFile::encodeName(output);
    check(avformat_alloc_output_context2(&made, mov, nullptr, path.constData()), stop);
    const BCFFmpeg::OutputPtr out(made);
    out->interrupt_callback = BCFFmpeg::interruptFor(&stop);

    std::vector<int> map(in->nb_streams, -1);
    for (const int index : chosen) {
        const AVStream* source = in->streams[index];
        AVStream* target = avformat_new_stream(out.get(), nullptr);
        if (!target)
            throw std::bad_alloc();
        check(avcodec_parameters_copy(target->codecpar, source->codecpar), stop);
        target->codecpar->codec_tag = 0;
        target->time_base = source->time_base;
        size_t size = 0;
        if (const uint8_t* matrix =
                av_stream_get_side_data(source, AV_PKT_DATA_DISPLAYMATRIX, &size)) {
            uint8_t* copy = av_stream_new_side_data(target, AV_PKT_DATA_DISPLAYMATRIX, size);
            if (copy)
                memcpy(copy, matrix, size);
        }
        map[size_t(index)] = target->index;
    }

    check(
        avio_open2(&out->pb, path.constData(), AVIO_FLAG_WRITE, &out->interrupt_callback, nullptr),
        stop);
    AVDictionary* options = nullptr;
    av_dict_set(&options, "movflags", "+faststart", 0);
    const int header = avformat_write_header(out.get(), &options);
    av_dict_free(&options);
    check(header, stop);

    const BCFFmpeg::PacketPtr packet = BCFFmpeg::makePacket();
    while (true) {
        if (stop.stop_requested())
            throw BCCancelled{};
        const int status = av_read_frame(in.get(), packet.get());
        if (status == AVERROR_EOF)
            break;
        check(status, stop);
        const int target = map[size_t(packet->stream_index)];
        if (target < 0) {
            av_packet_unref(packet.get());
            continue;
        }
        av_packet_rescale_ts(packet.get(), in->streams[packet->stream_index]->time_base,
                             out->streams[target]->time_base);
        packet->stream_index = target;
        packet->pos = -1;
        check(av_interleaved_write_frame(out.get(), packet.get()), stop); // takes the packet
    }
    check(av_write_trailer(out.get()), stop);
}

} // namespace BCRemux
