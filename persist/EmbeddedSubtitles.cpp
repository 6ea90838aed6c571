// SPDX-License-Identifier: GPL-3.0-or-later
#include "persist/EmbeddedSubtitles.h"

#include "persist/FileUtil.h"
#include "persist/LateLibrary.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/avutil.h>
}

#include <algorithm>
#include <memory>
#include <mutex>

namespace
{

// The functions of libavformat (and of the libraries under it) used here;
// loaded with the first transcript read from inside a medium.
struct AvCalls {
    decltype(&::avformat_alloc_context) avformat_alloc_context = nullptr;
    decltype(&::avformat_open_input) avformat_open_input = nullptr;
    decltype(&::avformat_close_input) avformat_close_input = nullptr;
    decltype(&::av_read_frame) av_read_frame = nullptr;
    decltype(&::av_packet_alloc) av_packet_alloc = nullptr;
    decltype(&::av_packet_free) av_packet_free = nullptr;
    decltype(&::av_packet_unref) av_packet_unref = nullptr;
    decltype(&::av_rescale_q) av_rescale_q = nullptr;
    decltype(&::av_rescale) av_rescale = nullptr;
};
AvCalls av;

// Empty once the functions can be called, else why not; from any thread.
QString loadAv()
{
    static std::once_flag once;
    static QString failure;
    std::call_once(once, [] {
        static LateLibrary format(PELMORA_AVFORMAT_LIBRARY), codec(PELMORA_AVCODEC_LIBRARY),
            util(PELMORA_AVUTIL_LIBRARY);
        for (LateLibrary *library : {&util, &codec, &format}) {
            if (!library->load()) {
                failure = library->why();
                return;
            }
        }
        format.resolve(av.avformat_alloc_context, "avformat_alloc_context");
        format.resolve(av.avformat_open_input, "avformat_open_input");
        format.resolve(av.avformat_close_input, "avformat_close_input");
        format.resolve(av.av_read_frame, "av_read_frame");
        codec.resolve(av.av_packet_alloc, "av_packet_alloc");
        codec.resolve(av.av_packet_free, "av_packet_free");
        codec.resolve(av.av_packet_unref, "av_packet_unref");
        util.resolve(av.av_rescale_q, "av_rescale_q");
        util.resolve(av.av_rescale, "av_rescale");
        for (LateLibrary *library : {&util, &codec, &format})
            if (failure.isEmpty()) failure = library->why();
    });
    return failure;
}

bool isTextCodec(AVCodecID id)
{
    return id == AV_CODEC_ID_SUBRIP || id == AV_CODEC_ID_TEXT || id == AV_CODEC_ID_MOV_TEXT ||
           id == AV_CODEC_ID_ASS || id == AV_CODEC_ID_SSA || id == AV_CODEC_ID_WEBVTT;
}

// The text of one packet in its codec's form.
QString packetText(AVCodecID codec, const uint8_t *data, int size)
{
    if (!data || size <= 0) return {};
    switch (codec) {
    case AV_CODEC_ID_MOV_TEXT: {
        // A 16-bit big-endian length, the UTF-8 text, then style boxes.
        if (size < 2) return {};
        const int length = std::min(size - 2, (data[0] << 8) | data[1]);
        return plainCueText(QString::fromUtf8(reinterpret_cast<const char *>(data + 2), length));
    }
    case AV_CODEC_ID_ASS:
    case AV_CODEC_ID_SSA: {
        // "ReadOrder,Layer,Style,Name,MarginL,MarginR,MarginV,Effect,Text"
        const QString event = QString::fromUtf8(reinterpret_cast<const char *>(data), size);
        qsizetype at = 0;
        for (int comma = 0; comma < 8 && at >= 0; ++comma) {
            at = event.indexOf(QLatin1Char(','), at);
            if (at >= 0) ++at;
        }
        return at < 0 ? QString() : plainAssText(event.mid(at));
    }
    default:
        return plainCueText(QString::fromUtf8(reinterpret_cast<const char *>(data), size));
    }
}

qint64 toMs(int64_t value, AVRational base)
{
    return av.av_rescale_q(value, base, AVRational{1, 1000});
}

struct InputCloser {
    void operator()(AVFormatContext *c) const { av.avformat_close_input(&c); }
};
struct PacketFree {
    void operator()(AVPacket *p) const { av.av_packet_free(&p); }
};

int interrupted(void *cancel)
{
    return cancel && static_cast<const std::atomic_bool *>(cancel)->load();
}

// The stream of the subtitle track numbered `number` (0: the first of
// text), or -1 with the problem told in t.
int chooseStream(const AVFormatContext *input, int number, Transcript &t)
{
    int chosen = -1, ordinal = 0;
    bool pictures = false;
    for (unsigned i = 0; i < input->nb_streams; ++i) {
        const AVCodecParameters *par = input->streams[i]->codecpar;
        if (par->codec_type != AVMEDIA_TYPE_SUBTITLE) continue;
        ++ordinal;
        const bool text = isTextCodec(par->codec_id);
        if (!text) pictures = true;
        if (chosen < 0 && ((number == 0 && text) || ordinal == number)) {
            if (!text) {
                t.problem = QStringLiteral("選ばれている字幕は画像の字幕です");
                return -1;
            }
            chosen = static_cast<int>(i);
        }
    }
    if (chosen < 0)
        t.problem = pictures && number == 0 ? QStringLiteral("埋め込まれた字幕は画像の字幕です")
                                            : noTranscriptText();
    return chosen;
}

} // namespace

Transcript readEmbeddedTranscript(const QString &mediumPath, int number,
                                  const std::atomic_bool *cancel, qint64 maxBytes)
{
    Transcript t;
    const QString shown = QDir::toNativeSeparators(mediumPath);
    // A local medium is opened only when it is a regular file; an address
    // (scheme://...) is libavformat's to open.
    const bool address = mediumPath.contains(QLatin1String("://"));
    if (!address && !isRegularFile(mediumPath)) {
        t.problem = QFileInfo::exists(mediumPath)
                        ? notRegularFileText(mediumPath)
                        : QStringLiteral("%1 を読み込めません").arg(shown);
        return t;
    }
    if (const QString why = loadAv(); !why.isEmpty()) {
        t.problem = QStringLiteral("%1 を読み込めません（%2）").arg(shown, why);
        return t;
    }
    AVFormatContext *raw = av.avformat_alloc_context();
    if (!raw) {
        t.problem = noTranscriptText();
        return t;
    }
    raw->interrupt_callback.callback = interrupted;
    raw->interrupt_callback.opaque = const_cast<std::atomic_bool *>(cancel);
    if (av.avformat_open_input(&raw, QFile::encodeName(mediumPath).constData(), nullptr, nullptr) <
        0) {
        // avformat_open_input frees the context on failure.
        t.problem = QStringLiteral("%1 を読み込めません").arg(shown);
        return t;
    }
    std::unique_ptr<AVFormatContext, InputCloser> input(raw);

    const int chosen = chooseStream(input.get(), number, t);
    if (chosen < 0) return t;
    for (unsigned i = 0; i < input->nb_streams; ++i)
        input->streams[i]->discard =
            static_cast<int>(i) == chosen ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    const AVStream *stream = input->streams[chosen];
    const AVCodecID codec = stream->codecpar->codec_id;
    std::unique_ptr<AVPacket, PacketFree> packet(av.av_packet_alloc());
    qint64 taken = 0; // bytes of the stream's packets read
    while (packet && av.av_read_frame(input.get(), packet.get()) >= 0) {
        if (packet->stream_index == chosen && taken + packet->size > maxBytes) {
            // The stream holds more text than any transcript: what came
            // before is kept, the rest not read.
            t.cutAtBytes = maxBytes;
            av.av_packet_unref(packet.get());
            break;
        }
        if (packet->stream_index == chosen) {
            taken += packet->size;
            const int64_t pts = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
            const QString text = packetText(codec, packet->data, packet->size);
            if (pts == AV_NOPTS_VALUE)
                ++t.skipped;
            else if (!text.isEmpty()) {
                qint64 start = toMs(pts, stream->time_base);
                // As the player counts: from the start of the medium.
                if (input->start_time != AV_NOPTS_VALUE)
                    start -= av.av_rescale(input->start_time, 1000, AV_TIME_BASE);
                start = std::max<qint64>(0, start);
                const qint64 length =
                    packet->duration > 0 ? toMs(packet->duration, stream->time_base) : 0;
                t.cues.append({start, start + length, text});
            }
        }
        av.av_packet_unref(packet.get());
        if (interrupted(const_cast<std::atomic_bool *>(cancel))) break;
    }
    completeTranscript(t);
    return t;
}
