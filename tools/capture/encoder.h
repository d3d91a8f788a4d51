// Encodes the captured frames and samples with FFmpeg and muxes them into one file.
#pragma once

#include "tools/capture/capture.h"

#include <string>

struct AVCodec;
struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVOutputFormat;
struct AVPacket;
struct AVStream;
struct SwsContext;

namespace capture {

class encoder {
  public:
    encoder() = default;
    encoder(const encoder &) = delete;
    encoder &operator=(const encoder &) = delete;
    // Frees everything; a file still open is closed as it stands (unfinished).
    ~encoder();

    // Prepares a 640 x 480 video stream at fps frames per second and a 44.1 kHz
    // stereo sound stream, in the container that final_name's extension names
    // (MP4 for h264, Matroska for ffv1 when the extension names none), and
    // creates write_name for it. Container and codec problems are found
    // before anything is created. On failure returns false with a one-line
    // error naming final_name.
    bool open(const std::string &final_name, const std::string &write_name, codec video, int fps,
              const std::string &title, std::string &error);

    // The name of the video encoder in use: libx264, or mpeg4 where this
    // FFmpeg build lacks libx264.
    const char *video_encoder_name() const;

    // How many samples each add_audio call takes (only the last may take fewer).
    int audio_frame_samples() const;

    // One frame of 640 x 480 pixels 0x00RRGGBB, rows top-down with no gap;
    // the top byte is ignored. Frames get consecutive timestamps from 0.
    bool add_video(const unsigned *pixels, std::string &error);

    // count stereo samples in [-1, 1] (louder ones are clipped).
    bool add_audio(const float *left, const float *right, int count, std::string &error);

    // Drains both encoders, writes the container's index and closes the file.
    bool finish(std::string &error);

  private:
    // The steps of open, in order; each reports its failure as fail does.
    bool choose_container(codec video, const AVOutputFormat *&container, std::string &error) const;
    bool choose_codecs(const AVOutputFormat *container, codec video, const AVCodec *&video_codec,
                       const AVCodec *&audio_codec, std::string &error) const;
    bool open_video(const AVCodec *video_codec, codec video, int fps, bool global_header,
                    std::string &error);
    bool open_audio(const AVCodec *audio_codec, codec video, bool global_header,
                    std::string &error);
    bool add_streams(std::string &error);
    bool allocate_frames(std::string &error); // and the scaler into the video's format
    bool open_file(const AVOutputFormat *container, const std::string &write_name,
                   std::string &error);

    bool encode(AVCodecContext *context, AVStream *stream, AVFrame *frame, std::string &error);
    bool fail(const std::string &what, int code, std::string &error) const;

    std::string name_;
    AVFormatContext *format_ = nullptr;
    AVCodecContext *video_ = nullptr;
    AVCodecContext *audio_ = nullptr;
    AVStream *video_stream_ = nullptr;
    AVStream *audio_stream_ = nullptr;
    AVFrame *picture_ = nullptr;
    AVFrame *samples_ = nullptr;
    AVPacket *packet_ = nullptr;
    SwsContext *scaler_ = nullptr;
    long long video_pts_ = 0;
    long long audio_pts_ = 0;
    bool file_open_ = false;
};

} // namespace capture
