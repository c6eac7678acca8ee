#pragma once
// The movie file behind the recorder: one QuickTime (.mov) file with one video track of
// Photo-JPEG samples ('jpeg'), time scale 600, written through FFmpeg (libavformat's
// QuickTime muxer, libavcodec's MJPEG encoder, libswscale for the BGRA read-back). The
// steps keep the movie toolbox's order, so the recorder reports each failure the way it
// always has: create the file, begin the media, begin the compressor, then per frame
// compress and add a sample, and at the end finish the movie and close the file.
//
// Every step returns 0 or a negative FFmpeg error code. One object is used by one thread
// at a time; the recorder hands it between its threads only through its queues.
#include <string>

struct AVFormatContext;
struct AVStream;
struct AVCodecContext;
struct AVFrame;
struct AVPacket;
struct SwsContext;

// The media time scale: units per second of every sample duration.
constexpr int qt_time_scale = 600;

class qt_movie_file {
public:
	qt_movie_file() = default;
	// Drops whatever is unfinished; a movie not finished by finish() is left incomplete.
	~qt_movie_file();
	qt_movie_file(const qt_movie_file&) = delete;
	qt_movie_file& operator=(const qt_movie_file&) = delete;

	// 1 when this platform has the JPEG compressor and the QuickTime muxer.
	static int usable();

	// Creates (or empties) the file at path.
	int create(const std::string& path);
	// The video track and its media, width x height pixels.
	int begin_media(int width, int height);
	// The JPEG compressor reading width x height BGRA pixels, top row first.
	int begin_compress(int width, int height);
	bool can_compress() const { return enc_ != nullptr; }
	// Compresses one picture (rows of width x 4 bytes) into the sample buffer.
	int compress_frame(const unsigned char* bgra);
	// Appends the compressed picture as one sample lasting `duration` time-scale units.
	int add_sample(int duration);
	void end_compress();
	// Writes the movie's index; the file is complete after close().
	int finish();
	int close();

	int samples() const { return samples_; }

private:
	AVFormatContext* fmt_ = nullptr;
	AVStream* st_ = nullptr;
	AVCodecContext* enc_ = nullptr;
	AVFrame* frame_ = nullptr;
	AVPacket* pkt_ = nullptr;
	SwsContext* sws_ = nullptr;
	bool have_packet_ = false;
	bool header_written_ = false;
	long long next_pts_ = 0;
	int samples_ = 0;
};
