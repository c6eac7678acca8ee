#pragma once
// Reads a movie back through libavformat and libavcodec, as any other player would:
// the track's codec, size, time base and duration, every sample's timing, and each
// picture decoded to RGB.
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

struct movie_sample {
	long long pts, duration;
	std::vector<unsigned char> rgb;  // width x height x 3, top row first
};

struct movie_info {
	bool opened = false;
	int codec_id = 0;
	unsigned codec_tag = 0;
	int width = 0, height = 0;
	int tb_num = 0, tb_den = 0;
	long long duration = 0;
	std::vector<movie_sample> samples;

	// Red, green, blue of pixel (x, y) of sample i, y from the top.
	int channel(size_t i, int x, int y, int c) const { return samples[i].rgb[(size_t(y) * width + x) * 3 + c]; }
	bool is_red(size_t i) const { return near(i, 255, 0, 0); }
	bool is_blue(size_t i) const { return near(i, 0, 0, 255); }
	bool near(size_t i, int r, int g, int b) const
	{
		const int x = width / 2, y = height / 2, tol = 40;
		return std::abs(channel(i, x, y, 0) - r) < tol && std::abs(channel(i, x, y, 1) - g) < tol &&
		       std::abs(channel(i, x, y, 2) - b) < tol;
	}
};

inline movie_info read_movie(const std::string& path)
{
	movie_info info;
	AVFormatContext* fmt = nullptr;
	if (avformat_open_input(&fmt, path.c_str(), nullptr, nullptr) < 0) return info;
	if (avformat_find_stream_info(fmt, nullptr) < 0 || fmt->nb_streams != 1) {
		avformat_close_input(&fmt);
		return info;
	}
	AVStream* st = fmt->streams[0];
	info.opened = true;
	info.codec_id = st->codecpar->codec_id;
	info.codec_tag = st->codecpar->codec_tag;
	info.width = st->codecpar->width;
	info.height = st->codecpar->height;
	info.tb_num = st->time_base.num;
	info.tb_den = st->time_base.den;
	info.duration = st->duration;
	const AVCodec* codec = avcodec_find_decoder(st->codecpar->codec_id);
	AVCodecContext* dec = avcodec_alloc_context3(codec);
	avcodec_parameters_to_context(dec, st->codecpar);
	avcodec_open2(dec, codec, nullptr);
	AVPacket* pkt = av_packet_alloc();
	AVFrame* frame = av_frame_alloc();
	while (av_read_frame(fmt, pkt) >= 0) {
		movie_sample s{pkt->pts, pkt->duration, {}};
		if (avcodec_send_packet(dec, pkt) >= 0 && avcodec_receive_frame(dec, frame) >= 0) {
			s.rgb.resize(size_t(frame->width) * frame->height * 3);
			// The decoder's full-range 4:2:0 is read as plain 4:2:0 told to use the full range.
			const bool full = frame->format == AV_PIX_FMT_YUVJ420P;
			SwsContext* sws = sws_getContext(frame->width, frame->height,
			                                 full ? AV_PIX_FMT_YUV420P : AVPixelFormat(frame->format), frame->width,
			                                 frame->height, AV_PIX_FMT_RGB24, SWS_BILINEAR, nullptr, nullptr, nullptr);
			const int* bt601 = sws_getCoefficients(SWS_CS_ITU601);
			if (full) sws_setColorspaceDetails(sws, bt601, 1, bt601, 1, 0, 1 << 16, 1 << 16);
			uint8_t* dst[1] = {s.rgb.data()};
			int dst_stride[1] = {frame->width * 3};
			sws_scale(sws, frame->data, frame->linesize, 0, frame->height, dst, dst_stride);
			sws_freeContext(sws);
		}
		info.samples.push_back(std::move(s));
		av_packet_unref(pkt);
	}
	av_frame_free(&frame);
	av_packet_free(&pkt);
	avcodec_free_context(&dec);
	avformat_close_input(&fmt);
	return info;
}
