#pragma once
// The movie file behind the recorder: one QuickTime (.mov) file with one video track of
// Photo-JPEG samples ('jpeg'), time scale 600, written through FFmpeg (libavformat's
// QuickTime muxer, libavcodec's MJPEG encoder, libswscale for the BGRA read-back). Each
// step stands for the movie toolbox call the recorder reports its failure under, in the
// toolbox's order:
//   create               CreateMovieFile
//   begin_media          NewMovieTrack, NewTrackMedia, BeginMediaEdits
//   begin_compress       CompressSequenceBegin
//   make_compress_buffer GetMaxCompressionSize and the compression buffer
//   compress_frame       CompressSequenceFrame
//   add_sample           AddMediaSample
//   end_compress         CDSequenceEnd
//   end_media            EndMediaEdits
//   insert_media         InsertMediaIntoTrack
//   finish               AddMovieResource and CloseMovieFile
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
	// The JPEG compressor.
	int begin_compress(int width, int height);
	// What the compressor works through: the picture it reads width x height BGRA pixels
	// into (top row first) and the buffer it compresses into.
	int make_compress_buffer(int width, int height);
	bool has_compress_buffer() const { return frame_ && pkt_ && sws_; }
	// Compresses one picture (rows of width x 4 bytes) into the compression buffer.
	int compress_frame(const unsigned char* bgra);
	// Appends the compressed picture as one sample lasting `duration` time-scale units.
	int add_sample(int duration);
	// Drops the compressor and its buffers.
	void end_compress();
	// The media's samples are all in the file.
	int end_media();
	// The track takes the whole media, from time 0.
	int insert_media();
	// Writes the movie's index into the file and closes it: only then is the movie
	// complete.
	int finish();

	int samples() const { return samples_; }

private:
	void free_compress_buffer();

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
