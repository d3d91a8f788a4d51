// Encodes and muxes the capture: libx264/AAC in MP4, or lossless FFV1/FLAC in Matroska.
#include "tools/capture/encoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace capture {

namespace {

constexpr int width = 640;
constexpr int height = 480;

std::string av_message(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {0};
    av_strerror(code, text, sizeof text);
    return text;
}

// Whether the container can hold the codec: 0 from FFmpeg is a plain no;
// a negative answer means the muxer keeps no list, and writing will tell.
bool container_takes(const AVOutputFormat *format, AVCodecID id) {
    return avformat_query_codec(format, id, FF_COMPLIANCE_NORMAL) != 0;
}

} // namespace

encoder::~encoder() {
    if (format_ && file_open_)
        avio_closep(&format_->pb);
    avformat_free_context(format_);
    avcodec_free_context(&video_);
    avcodec_free_context(&audio_);
    av_frame_free(&picture_);
    av_frame_free(&samples_);
    av_packet_free(&packet_);
    sws_freeContext(scaler_);
}

bool encoder::fail(const std::string &what, int code, std::string &error) const {
    error = "vorbo-capture: " + name_ + ": " + what;
    if (code < 0)
        error += ": " + av_message(code);
    return false;
}

const char *encoder::video_encoder_name() const {
    return video_ ? video_->codec->name : "";
}

int encoder::audio_frame_samples() const {
    // Encoders that take any frame length (none of the two chosen here) report 0.
    return audio_ && audio_->frame_size > 0 ? audio_->frame_size : 1024;
}

bool encoder::open(const std::string &final_name, const std::string &write_name, codec video,
                   int fps, const std::string &title, std::string &error) {
    name_ = final_name;
    // Every failure is reported once, in this program's own one-line message.
    av_log_set_level(AV_LOG_QUIET);

    const AVOutputFormat *container = nullptr;
    const AVCodec *video_codec = nullptr;
    const AVCodec *audio_codec = nullptr;
    if (!choose_container(video, container, error) ||
        !choose_codecs(container, video, video_codec, audio_codec, error))
        return false;

    int code = avformat_alloc_output_context2(&format_, container, nullptr, write_name.c_str());
    if (code < 0)
        return fail("cannot set up the container", code, error);
    // No creation time, no library version strings, no random ids: the same
    // input gives the same bytes.
    format_->flags |= AVFMT_FLAG_BITEXACT;
    if (!title.empty())
        av_dict_set(&format_->metadata, "title", title.c_str(), 0);
    const bool global_header = container->flags & AVFMT_GLOBALHEADER;

    return open_video(video_codec, video, fps, global_header, error) &&
           open_audio(audio_codec, video, global_header, error) && add_streams(error) &&
           allocate_frames(error) && open_file(container, write_name, error);
}

bool encoder::choose_container(codec video, const AVOutputFormat *&container,
                               std::string &error) const {
    container = av_guess_format(nullptr, name_.c_str(), nullptr);
    if (!container)
        container = av_guess_format(video == codec::ffv1 ? "matroska" : "mp4", nullptr, nullptr);
    if (!container)
        return fail("no muxer for it in this FFmpeg build", 0, error);
    // Picture sequences and devices write no single file.
    if (container->flags & AVFMT_NOFILE)
        return fail(std::string("cannot hold a video with sound (") + container->name + ")", 0,
                    error);
    return true;
}

bool encoder::choose_codecs(const AVOutputFormat *container, codec video,
                            const AVCodec *&video_codec, const AVCodec *&audio_codec,
                            std::string &error) const {
    if (video == codec::ffv1) {
        video_codec = avcodec_find_encoder(AV_CODEC_ID_FFV1);
        audio_codec = avcodec_find_encoder(AV_CODEC_ID_FLAC);
    } else {
        video_codec = avcodec_find_encoder_by_name("libx264");
        if (!video_codec)
            video_codec = avcodec_find_encoder(AV_CODEC_ID_MPEG4);
        audio_codec = avcodec_find_encoder(AV_CODEC_ID_AAC);
    }
    if (!video_codec || !audio_codec)
        return fail("this FFmpeg build lacks the encoders", 0, error);
    for (const AVCodec *used : {video_codec, audio_codec})
        if (!container_takes(container, used->id))
            return fail(std::string("the ") + container->name + " container cannot hold " +
                            avcodec_get_name(used->id) +
                            (used == video_codec ? " video" : " sound"),
                        0, error);
    return true;
}

bool encoder::open_video(const AVCodec *video_codec, codec video, int fps, bool global_header,
                         std::string &error) {
    video_ = avcodec_alloc_context3(video_codec);
    if (!video_)
        return fail("out of memory", AVERROR(ENOMEM), error);
    video_->width = width;
    video_->height = height;
    video_->time_base = AVRational{1, fps};
    video_->framerate = AVRational{fps, 1};
    video_->sample_aspect_ratio = AVRational{1, 1};
    video_->thread_count = 1;
    video_->flags |= AV_CODEC_FLAG_BITEXACT;
    if (global_header)
        video_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    AVDictionary *video_options = nullptr;
    if (video == codec::ffv1) {
        // The frame's own layout: blue, green, red and an unused byte in
        // memory, so every pixel goes in and comes out unchanged.
        video_->pix_fmt = AV_PIX_FMT_0RGB32;
        video_->colorspace = AVCOL_SPC_RGB;
        video_->gop_size = 1; // every frame can be decoded alone
    } else {
        // Ordinary players expect 4:2:0 with limited range in BT.601 (the
        // standard-definition matrix, which is also what the scaler applies).
        video_->pix_fmt = AV_PIX_FMT_YUV420P;
        video_->color_range = AVCOL_RANGE_MPEG;
        video_->colorspace = AVCOL_SPC_SMPTE170M;
        video_->color_primaries = AVCOL_PRI_SMPTE170M;
        video_->color_trc = AVCOL_TRC_SMPTE170M;
        video_->gop_size = 2 * fps; // a key frame every two seconds, for seeking
        if (std::strcmp(video_codec->name, "libx264") == 0) {
            av_dict_set(&video_options, "preset", "medium", 0);
            av_dict_set(&video_options, "crf", "18", 0);
        } else {
            video_->flags |= AV_CODEC_FLAG_QSCALE;
            video_->global_quality = FF_QP2LAMBDA * 3;
        }
    }
    const int code = avcodec_open2(video_, video_codec, &video_options);
    av_dict_free(&video_options);
    if (code < 0)
        return fail(std::string("cannot start the ") + video_codec->name + " encoder", code, error);
    return true;
}

bool encoder::open_audio(const AVCodec *audio_codec, codec video, bool global_header,
                         std::string &error) {
    audio_ = avcodec_alloc_context3(audio_codec);
    if (!audio_)
        return fail("out of memory", AVERROR(ENOMEM), error);
    audio_->sample_rate = sample_rate;
    av_channel_layout_default(&audio_->ch_layout, 2);
    audio_->time_base = AVRational{1, sample_rate};
    audio_->thread_count = 1;
    audio_->flags |= AV_CODEC_FLAG_BITEXACT;
    if (global_header)
        audio_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (video == codec::ffv1) {
        audio_->sample_fmt = AV_SAMPLE_FMT_S16;
    } else {
        audio_->sample_fmt = AV_SAMPLE_FMT_FLTP;
        audio_->bit_rate = 192000;
    }
    const int code = avcodec_open2(audio_, audio_codec, nullptr);
    if (code < 0)
        return fail(std::string("cannot start the ") + audio_codec->name + " encoder", code, error);
    return true;
}

bool encoder::add_streams(std::string &error) {
    video_stream_ = avformat_new_stream(format_, nullptr);
    audio_stream_ = avformat_new_stream(format_, nullptr);
    if (!video_stream_ || !audio_stream_)
        return fail("out of memory", AVERROR(ENOMEM), error);
    video_stream_->time_base = video_->time_base;
    video_stream_->avg_frame_rate = video_->framerate;
    audio_stream_->time_base = audio_->time_base;
    int code;
    if ((code = avcodec_parameters_from_context(video_stream_->codecpar, video_)) < 0 ||
        (code = avcodec_parameters_from_context(audio_stream_->codecpar, audio_)) < 0)
        return fail("cannot describe the streams", code, error);
    return true;
}

bool encoder::allocate_frames(std::string &error) {
    picture_ = av_frame_alloc();
    samples_ = av_frame_alloc();
    packet_ = av_packet_alloc();
    if (!picture_ || !samples_ || !packet_)
        return fail("out of memory", AVERROR(ENOMEM), error);
    picture_->format = video_->pix_fmt;
    picture_->width = width;
    picture_->height = height;
    samples_->format = audio_->sample_fmt;
    samples_->nb_samples = audio_frame_samples();
    samples_->sample_rate = sample_rate;
    int code;
    if ((code = av_channel_layout_copy(&samples_->ch_layout, &audio_->ch_layout)) < 0 ||
        (code = av_frame_get_buffer(picture_, 0)) < 0 ||
        (code = av_frame_get_buffer(samples_, 0)) < 0)
        return fail("out of memory", code, error);

    if (video_->pix_fmt != AV_PIX_FMT_0RGB32) {
        // Bit-exact, accurately rounded conversion: the same bytes on every CPU.
        scaler_ = sws_getContext(width, height, AV_PIX_FMT_0RGB32, width, height, video_->pix_fmt,
                                 SWS_BICUBIC | SWS_BITEXACT | SWS_ACCURATE_RND, nullptr, nullptr,
                                 nullptr);
        if (!scaler_)
            return fail("cannot set up the colour conversion", 0, error);
    }
    return true;
}

bool encoder::open_file(const AVOutputFormat *container, const std::string &write_name,
                        std::string &error) {
    int code = avio_open(&format_->pb, write_name.c_str(), AVIO_FLAG_WRITE);
    if (code < 0) {
        error = "vorbo-capture: cannot write " + name_ + ": " + av_message(code);
        return false;
    }
    file_open_ = true;

    AVDictionary *muxer_options = nullptr;
    if (std::strcmp(container->name, "mp4") == 0 || std::strcmp(container->name, "mov") == 0)
        // The index goes in front, so a player can start before the whole file arrives.
        av_dict_set(&muxer_options, "movflags", "+faststart", 0);
    code = avformat_write_header(format_, &muxer_options);
    av_dict_free(&muxer_options);
    if (code < 0)
        return fail("cannot write the container's header", code, error);
    return true;
}

bool encoder::encode(AVCodecContext *context, AVStream *stream, AVFrame *frame,
                     std::string &error) {
    int code = avcodec_send_frame(context, frame);
    if (code < 0)
        return fail(std::string("the ") + context->codec->name + " encoder failed", code, error);
    for (;;) {
        code = avcodec_receive_packet(context, packet_);
        if (code == AVERROR(EAGAIN) || code == AVERROR_EOF)
            return true;
        if (code < 0)
            return fail(std::string("the ") + context->codec->name + " encoder failed", code,
                        error);
        av_packet_rescale_ts(packet_, context->time_base, stream->time_base);
        packet_->stream_index = stream->index;
        code = av_interleaved_write_frame(format_, packet_);
        if (code < 0)
            return fail("cannot write", code, error);
    }
}

bool encoder::add_video(const unsigned *pixels, std::string &error) {
    int code = av_frame_make_writable(picture_);
    if (code < 0)
        return fail("out of memory", code, error);
    const uint8_t *source = reinterpret_cast<const uint8_t *>(pixels);
    const int stride = width * 4;
    if (scaler_) {
        const uint8_t *planes[4] = {source, nullptr, nullptr, nullptr};
        const int strides[4] = {stride, 0, 0, 0};
        sws_scale(scaler_, planes, strides, 0, height, picture_->data, picture_->linesize);
    } else {
        av_image_copy_plane(picture_->data[0], picture_->linesize[0], source, stride, stride,
                            height);
    }
    picture_->pts = video_pts_++;
    return encode(video_, video_stream_, picture_, error);
}

bool encoder::add_audio(const float *left, const float *right, int count, std::string &error) {
    count = std::clamp(count, 0, audio_frame_samples());
    if (count == 0)
        return true;
    int code = av_frame_make_writable(samples_);
    if (code < 0)
        return fail("out of memory", code, error);
    samples_->nb_samples = count;
    if (audio_->sample_fmt == AV_SAMPLE_FMT_FLTP) {
        float *l = reinterpret_cast<float *>(samples_->data[0]);
        float *r = reinterpret_cast<float *>(samples_->data[1]);
        for (int i = 0; i < count; ++i) {
            l[i] = std::clamp(left[i], -1.0f, 1.0f);
            r[i] = std::clamp(right[i], -1.0f, 1.0f);
        }
    } else {
        // Interleaved 16-bit; full scale maps to +-32767 so both ends fit.
        int16_t *out = reinterpret_cast<int16_t *>(samples_->data[0]);
        for (int i = 0; i < count; ++i) {
            out[2 * i] =
                static_cast<int16_t>(std::lrint(std::clamp(left[i], -1.0f, 1.0f) * 32767.0f));
            out[2 * i + 1] =
                static_cast<int16_t>(std::lrint(std::clamp(right[i], -1.0f, 1.0f) * 32767.0f));
        }
    }
    samples_->pts = audio_pts_;
    audio_pts_ += count;
    return encode(audio_, audio_stream_, samples_, error);
}

bool encoder::finish(std::string &error) {
    if (!encode(video_, video_stream_, nullptr, error) ||
        !encode(audio_, audio_stream_, nullptr, error))
        return false;
    int code = av_write_trailer(format_);
    if (code < 0)
        return fail("cannot finish the file", code, error);
    // Buffered writes that failed (a full disk) show only in the context's
    // error, not in the calls that queued them.
    const int pending = format_->pb->error;
    file_open_ = false;
    code = avio_closep(&format_->pb);
    if (pending < 0 || code < 0)
        return fail("cannot write", pending < 0 ? pending : code, error);
    return true;
}

} // namespace capture
