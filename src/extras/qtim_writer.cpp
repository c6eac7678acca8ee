#include "extras/qtim_writer.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/frame.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

namespace {

// The QuickTime muxer and the sample description's codec type.
const char* const kMuxer = "mov";
constexpr unsigned kJpegTag = MKTAG('j', 'p', 'e', 'g');
// The compressor's "normal" spatial quality, as a JPEG quantiser scale (2 best .. 31).
constexpr int kNormalQscale = 5;
// JPEG takes full-range luma and chroma (the encoder's own name for that layout); the
// converter writes the same planes as plain 4:2:0 told to use the full range.
constexpr AVPixelFormat kJpegPixels = AV_PIX_FMT_YUVJ420P;
constexpr AVPixelFormat kConvertPixels = AV_PIX_FMT_YUV420P;
constexpr int kFullRange = 1;
constexpr int kUnitScale = 1 << 16;
// The recorder reads the window back as BGRA bytes (GL_BGRA, 8_8_8_8_REV).
constexpr AVPixelFormat kReadBackPixels = AV_PIX_FMT_BGRA;
constexpr int kBytesPerPixel = 4;

}  // namespace

int qt_movie_file::usable()
{
	return avcodec_find_encoder(AV_CODEC_ID_MJPEG) && av_guess_format(kMuxer, nullptr, nullptr) ? 1 : 0;
}

qt_movie_file::~qt_movie_file()
{
	end_compress();
	if (fmt_) {
		if (fmt_->pb) avio_closep(&fmt_->pb);
		avformat_free_context(fmt_);
	}
}

int qt_movie_file::create(const std::string& path)
{
	if (fmt_) return AVERROR(EEXIST);
	int err = avformat_alloc_output_context2(&fmt_, nullptr, kMuxer, path.c_str());
	if (err < 0) return err;
	if (!fmt_) return AVERROR_MUXER_NOT_FOUND;
	// Samples gather in the file's buffer and go out as it fills and when the media
	// ends, not one write each.
	fmt_->flush_packets = 0;
	return avio_open(&fmt_->pb, path.c_str(), AVIO_FLAG_WRITE);
}

int qt_movie_file::begin_media(int width, int height)
{
	if (!fmt_ || !fmt_->pb || header_written_) return AVERROR(EINVAL);
	st_ = avformat_new_stream(fmt_, nullptr);
	if (!st_) return AVERROR(ENOMEM);
	AVCodecParameters* par = st_->codecpar;
	par->codec_type = AVMEDIA_TYPE_VIDEO;
	par->codec_id = AV_CODEC_ID_MJPEG;
	par->codec_tag = kJpegTag;
	par->width = width;
	par->height = height;
	par->format = kJpegPixels;
	st_->time_base = AVRational{1, qt_time_scale};
	AVDictionary* opts = nullptr;
	av_dict_set_int(&opts, "video_track_timescale", qt_time_scale, 0);
	int err = avformat_write_header(fmt_, &opts);
	av_dict_free(&opts);
	if (err < 0) return err;
	header_written_ = true;
	return 0;
}

int qt_movie_file::begin_compress(int width, int height)
{
	avcodec_free_context(&enc_);
	const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MJPEG);
	if (!codec) return AVERROR_ENCODER_NOT_FOUND;
	enc_ = avcodec_alloc_context3(codec);
	if (!enc_) return AVERROR(ENOMEM);
	enc_->width = width;
	enc_->height = height;
	enc_->pix_fmt = kJpegPixels;
	enc_->time_base = AVRational{1, qt_time_scale};
	enc_->codec_tag = kJpegTag;
	enc_->flags |= AV_CODEC_FLAG_QSCALE;
	enc_->global_quality = FF_QP2LAMBDA * kNormalQscale;
	const int err = avcodec_open2(enc_, codec, nullptr);
	if (err < 0) avcodec_free_context(&enc_);
	return err;
}

int qt_movie_file::make_compress_buffer(int width, int height)
{
	free_compress_buffer();
	frame_ = av_frame_alloc();
	pkt_ = av_packet_alloc();
	int err = frame_ && pkt_ ? 0 : AVERROR(ENOMEM);
	if (!err) {
		frame_->format = kJpegPixels;
		frame_->width = width;
		frame_->height = height;
		err = av_frame_get_buffer(frame_, 0);
	}
	if (err >= 0) {
		sws_ = sws_getContext(width, height, kReadBackPixels, width, height, kConvertPixels,
		                      SWS_BILINEAR | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT, nullptr, nullptr, nullptr);
		if (!sws_) {
			err = AVERROR(EINVAL);
		} else {
			const int* bt601 = sws_getCoefficients(SWS_CS_ITU601);
			sws_setColorspaceDetails(sws_, bt601, kFullRange, bt601, kFullRange, 0, kUnitScale, kUnitScale);
		}
	}
	if (err < 0) free_compress_buffer();
	return err;
}

int qt_movie_file::compress_frame(const unsigned char* bgra)
{
	if (!enc_ || !has_compress_buffer()) return AVERROR(EINVAL);
	int err = av_frame_make_writable(frame_);
	if (err < 0) return err;
	const uint8_t* src[1] = {bgra};
	const int src_stride[1] = {enc_->width * kBytesPerPixel};
	sws_scale(sws_, src, src_stride, 0, enc_->height, frame_->data, frame_->linesize);
	frame_->pts = next_pts_;
	frame_->quality = enc_->global_quality;
	if (have_packet_) av_packet_unref(pkt_);
	have_packet_ = false;
	err = avcodec_send_frame(enc_, frame_);
	if (err < 0) return err;
	// JPEG is intra-only: every picture gives its packet at once.
	err = avcodec_receive_packet(enc_, pkt_);
	if (err < 0) return err;
	have_packet_ = true;
	return 0;
}

int qt_movie_file::add_sample(int duration)
{
	if (!header_written_ || !have_packet_) return AVERROR(EINVAL);
	const AVRational media = AVRational{1, qt_time_scale};
	pkt_->stream_index = st_->index;
	pkt_->pts = pkt_->dts = av_rescale_q(next_pts_, media, st_->time_base);
	pkt_->duration = av_rescale_q(duration, media, st_->time_base);
	pkt_->flags |= AV_PKT_FLAG_KEY;
	int err = av_write_frame(fmt_, pkt_);
	av_packet_unref(pkt_);
	have_packet_ = false;
	if (err < 0) return err;
	next_pts_ += duration;
	++samples_;
	return 0;
}

void qt_movie_file::free_compress_buffer()
{
	sws_freeContext(sws_);
	sws_ = nullptr;
	av_packet_free(&pkt_);
	av_frame_free(&frame_);
	have_packet_ = false;
}

void qt_movie_file::end_compress()
{
	free_compress_buffer();
	avcodec_free_context(&enc_);
}

int qt_movie_file::end_media()
{
	if (!fmt_ || !fmt_->pb) return AVERROR(EINVAL);
	// The samples still in the buffer reach the file; a write that failed on the way (a
	// full disk) shows here at the latest.
	avio_flush(fmt_->pb);
	return fmt_->pb->error;
}

int qt_movie_file::insert_media()
{
	// No track without its media.
	if (!header_written_) return AVERROR(EINVAL);
	// The muxer lays the track over its samples itself when it writes the index; the
	// track's length is the media's.
	st_->duration = av_rescale_q(next_pts_, AVRational{1, qt_time_scale}, st_->time_base);
	return 0;
}

int qt_movie_file::finish()
{
	if (!header_written_) return AVERROR(EINVAL);
	header_written_ = false;
	int err = av_write_trailer(fmt_);
	// The index is in the file only once it has been written out and the file closed.
	avio_flush(fmt_->pb);
	if (err >= 0) err = fmt_->pb->error;
	const int closed = avio_closep(&fmt_->pb);
	return err < 0 ? err : closed;
}
