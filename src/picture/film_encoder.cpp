#include "picture/film_encoder.h"

#include "version.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include <cerrno>
#include <cmath>
#include <cstring>

namespace glimra {

namespace {

std::string avError(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

// The film's bytes go to a FILE* the caller owns (a temporary file that is
// renamed into place only when the film is whole).
int writePacket(void* opaque, uint8_t* data, int size)
{
    FILE* out = static_cast<FILE*>(opaque);
    if (std::fwrite(data, 1, std::size_t(size), out) != std::size_t(size))
        return AVERROR(errno ? errno : EIO);
    return size;
}

int64_t seekPacket(void* opaque, int64_t offset, int whence)
{
    FILE* out = static_cast<FILE*>(opaque);
    if (whence & AVSEEK_SIZE) {
        const off_t here = ::ftello(out);
        if (::fseeko(out, 0, SEEK_END) != 0)
            return -1;
        const off_t size = ::ftello(out);
        ::fseeko(out, here, SEEK_SET);
        return size;
    }
    if (::fseeko(out, off_t(offset), whence & ~AVSEEK_FORCE) != 0)
        return AVERROR(errno);
    return ::ftello(out);
}

// The encoder with FFmpeg's libraries.
class FfmpegEncoder final : public FilmEncoder {
public:
    bool open(FILE* out, const std::string& format, int width, int height, double fps, std::string* why) override;
    bool add(const Pixels& frame, std::string* why) override;
    bool finish(std::string* why) override;

private:
    bool drain(bool flushing, std::string* why);
    struct State;
    std::unique_ptr<State> state_;
};

struct FfmpegEncoder::State {
    AVFormatContext* format = nullptr;
    AVIOContext* io = nullptr;
    AVCodecContext* codec = nullptr;
    AVStream* stream = nullptr;
    SwsContext* scale = nullptr;
    AVFrame* frame = nullptr;
    AVPacket* packet = nullptr;
    long next = 0;
    bool headerWritten = false;

    ~State()
    {
        av_packet_free(&packet);
        av_frame_free(&frame);
        sws_freeContext(scale);
        avcodec_free_context(&codec);
        if (format)
            avformat_free_context(format);
        if (io) {
            av_freep(&io->buffer);
            avio_context_free(&io);
        }
    }
};

bool FfmpegEncoder::open(FILE* out, const std::string& name, int width, int height, double fps, std::string* why)
{
    // The library's chatter is not the program's to print; failures are
    // reported through `why`.
    av_log_set_level(AV_LOG_ERROR);
    state_ = std::make_unique<State>();
    State& s = *state_;
    auto fail = [&](const std::string& what, int code = 0) {
        *why = code ? what + ": " + avError(code) : what;
        return false;
    };
    // 4:2:0 colour halves each side.
    if (width % 2 || height % 2)
        return fail("a film needs an even width and height; this one is " + std::to_string(width) + " x " +
                    std::to_string(height));
    const bool mp4 = name == "mp4";
    const AVCodec* codec = avcodec_find_encoder_by_name(mp4 ? "libx264" : "libvpx-vp9");
    if (!codec)
        return fail(std::string("this FFmpeg has no ") + (mp4 ? "H.264 (libx264)" : "VP9 (libvpx)") + " encoder");
    int r = avformat_alloc_output_context2(&s.format, nullptr, name.c_str(), nullptr);
    if (r < 0 || !s.format)
        return fail("cannot make a " + name + " film", r);
    constexpr int kBuffer = 1 << 16;
    auto* buffer = static_cast<unsigned char*>(av_malloc(kBuffer));
    s.io = buffer ? avio_alloc_context(buffer, kBuffer, 1, out, nullptr, writePacket, seekPacket) : nullptr;
    if (!s.io) {
        av_free(buffer);
        return fail("out of memory");
    }
    s.format->pb = s.io;
    s.format->flags |= AVFMT_FLAG_CUSTOM_IO;

    s.codec = avcodec_alloc_context3(codec);
    if (!s.codec)
        return fail("out of memory");
    const AVRational rate = av_d2q(fps, 100000);
    s.codec->width = width;
    s.codec->height = height;
    s.codec->time_base = av_inv_q(rate);
    s.codec->framerate = rate;
    s.codec->pix_fmt = AV_PIX_FMT_YUV420P;
    s.codec->gop_size = std::max(1, int(std::lround(fps * 2)));
    s.codec->color_range = AVCOL_RANGE_MPEG;
    s.codec->colorspace = AVCOL_SPC_BT709;
    s.codec->color_primaries = AVCOL_PRI_BT709;
    s.codec->color_trc = AVCOL_TRC_BT709;
    // The program's pool is its only source of threads: the encoder runs on
    // the thread that feeds it, while frames render on the pool.
    s.codec->thread_count = 1;
    if (mp4) {
        av_opt_set(s.codec->priv_data, "preset", "veryfast", 0);
        av_opt_set(s.codec->priv_data, "crf", "18", 0);
        av_opt_set(s.codec->priv_data, "x264-params", "threads=1:lookahead-threads=1:sliced-threads=0", 0);
    } else {
        s.codec->bit_rate = 0;
        av_opt_set(s.codec->priv_data, "crf", "30", 0);
        av_opt_set(s.codec->priv_data, "deadline", "realtime", 0);
        av_opt_set(s.codec->priv_data, "cpu-used", "8", 0);
        av_opt_set(s.codec->priv_data, "row-mt", "0", 0);
    }
    if (s.format->oformat->flags & AVFMT_GLOBALHEADER)
        s.codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if ((r = avcodec_open2(s.codec, codec, nullptr)) < 0)
        return fail("cannot start the encoder", r);
    s.stream = avformat_new_stream(s.format, nullptr);
    if (!s.stream)
        return fail("out of memory");
    s.stream->time_base = s.codec->time_base;
    s.stream->avg_frame_rate = rate;
    if ((r = avcodec_parameters_from_context(s.stream->codecpar, s.codec)) < 0)
        return fail("cannot describe the film", r);
    if ((r = avformat_write_header(s.format, nullptr)) < 0)
        return fail("cannot write the film", r);
    s.headerWritten = true;

    s.scale = sws_getContext(width, height, AV_PIX_FMT_BGRA, width, height, AV_PIX_FMT_YUV420P,
                             SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT, nullptr, nullptr, nullptr);
    if (s.scale) {
        const int* bt709 = sws_getCoefficients(SWS_CS_ITU709);
        sws_setColorspaceDetails(s.scale, bt709, 1, bt709, 0, 0, 1 << 16, 1 << 16);
    }
    s.frame = av_frame_alloc();
    s.packet = av_packet_alloc();
    if (!s.scale || !s.frame || !s.packet)
        return fail("out of memory");
    s.frame->format = AV_PIX_FMT_YUV420P;
    s.frame->width = width;
    s.frame->height = height;
    if ((r = av_frame_get_buffer(s.frame, 0)) < 0)
        return fail("out of memory", r);
    return true;
}

bool FfmpegEncoder::drain(bool flushing, std::string* why)
{
    State& s = *state_;
    for (;;) {
        int r = avcodec_receive_packet(s.codec, s.packet);
        if (r == AVERROR(EAGAIN) || (flushing && r == AVERROR_EOF))
            return true;
        if (r < 0) {
            *why = "encoding failed: " + avError(r);
            return false;
        }
        av_packet_rescale_ts(s.packet, s.codec->time_base, s.stream->time_base);
        s.packet->stream_index = s.stream->index;
        r = av_interleaved_write_frame(s.format, s.packet);
        av_packet_unref(s.packet);
        if (r < 0) {
            *why = "cannot write the film: " + avError(r);
            return false;
        }
    }
}

bool FfmpegEncoder::add(const Pixels& frame, std::string* why)
{
    State& s = *state_;
    int r = av_frame_make_writable(s.frame);
    if (r < 0) {
        *why = "out of memory";
        return false;
    }
    const uint8_t* source[1] = {reinterpret_cast<const uint8_t*>(frame.data())};
    const int stride[1] = {int(frame.width() * sizeof(Pixel))};
    sws_scale(s.scale, source, stride, 0, frame.height(), s.frame->data, s.frame->linesize);
    s.frame->pts = s.next++;
    if ((r = avcodec_send_frame(s.codec, s.frame)) < 0) {
        *why = "encoding failed: " + avError(r);
        return false;
    }
    return drain(false, why);
}

bool FfmpegEncoder::finish(std::string* why)
{
    State& s = *state_;
    int r = avcodec_send_frame(s.codec, nullptr);
    if (r < 0) {
        *why = "encoding failed: " + avError(r);
        return false;
    }
    if (!drain(true, why))
        return false;
    if ((r = av_write_trailer(s.format)) < 0) {
        *why = "cannot write the film: " + avError(r);
        return false;
    }
    avio_flush(s.io);
    if (s.io->error < 0) {
        *why = "cannot write the film: " + avError(s.io->error);
        return false;
    }
    return true;
}

}  // namespace

}  // namespace glimra

// Only this name is visible outside the module (it is built with hidden
// symbols), so nothing in it can stand in for the program's own.
extern "C" __attribute__((visibility("default"))) glimra::FilmEncoder* glimra_make_film_encoder(const char* version)
{
    if (!version || std::strcmp(version, GLIMRA_VERSION) != 0)
        return nullptr;
    return new glimra::FfmpegEncoder;
}
