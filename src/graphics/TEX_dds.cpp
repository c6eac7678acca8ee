#include "graphics/TEX_dds.h"

#include <squish.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "runtime/hl_alert.h"
#include "runtime/hl_globals.h"
#include "runtime/xer_stream.h"
#include "runtime/xmap.h"

namespace {

constexpr const char* kDdsSource = "VAvered/TEX/TEX_dds";
constexpr int kSaveFormatLine = 223;

// Header offsets and bits.
constexpr int kOffHeaderSize = 4, kOffFlags = 8, kOffHeight = 12, kOffWidth = 16, kOffLinearSize = 20,
              kOffMipCount = 28, kOffPfSize = 76, kOffPfFlags = 80, kOffFourCC = 84, kOffRgbBits = 88, kOffCaps = 108;
constexpr uint32_t kHeaderSize = 124, kPfSize = 32;
constexpr uint32_t kFlagMipCount = 0x20000;
constexpr uint32_t kWrittenFlags = 0xA1007;
constexpr uint32_t kPfFourCC = 0x4, kPfRgb = 0x40, kPfAlphaPixels = 0x1;
constexpr uint32_t kCapsMipmap = 0x400000;
constexpr uint32_t kWrittenCaps = 0x401008;
constexpr int kBgrBits = 24, kBgraBits = 32;

uint32_t rd32(const unsigned char* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
void wr32(unsigned char* p, uint32_t v)
{
	for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}

int squish_kind(GLenum f)
{
	switch (f) {
	case GL_COMPRESSED_RGB_S3TC_DXT1_EXT:
	case GL_COMPRESSED_RGBA_S3TC_DXT1_EXT: return squish::kDxt1;
	case GL_COMPRESSED_RGBA_S3TC_DXT3_EXT: return squish::kDxt3;
	default: return squish::kDxt5;
	}
}

int refuse(const std::string& path, const char* why)
{
	xer << "WARNING: unusable DDS file (" << why << "): " << path << "\n";
	return 0;
}

}  // namespace

int TEX_load_dds(const std::string& path, xmap_class& file, const unsigned char** pixels, TEX_image_desc* desc)
{
	const std::size_t len = file.begin ? std::size_t(file.end - file.begin) : 0;
	if (len < 4 || std::memcmp(file.begin, "DDS ", 4) != 0) return 0;
	if (len < std::size_t(dds_header_bytes)) return refuse(path, "short header");
	const unsigned char* h = reinterpret_cast<const unsigned char*>(file.begin);
	const uint32_t pf = rd32(h + kOffPfFlags);
	GLenum format = 0;
	if (pf & kPfFourCC) {
		if (std::memcmp(h + kOffFourCC, "DXT1", 4) == 0) format = GL_COMPRESSED_RGB_S3TC_DXT1_EXT;
		else if (std::memcmp(h + kOffFourCC, "DXT3", 4) == 0) format = GL_COMPRESSED_RGBA_S3TC_DXT3_EXT;
		else if (std::memcmp(h + kOffFourCC, "DXT5", 4) == 0) format = GL_COMPRESSED_RGBA_S3TC_DXT5_EXT;
		else return 0;
	}
	if (pf & kPfRgb) {
		format = (pf & kPfAlphaPixels) ? GL_BGRA : GL_BGR;
		const uint32_t bits = rd32(h + kOffRgbBits);
		if (bits != uint32_t(format == GL_BGRA ? kBgraBits : kBgrBits)) return refuse(path, "RGB bit count");
	}
	if (!format) return 0;
	const int32_t w = int32_t(rd32(h + kOffWidth)), ht = int32_t(rd32(h + kOffHeight));
	if (w < 1 || ht < 1 || w > tex_max_side || ht > tex_max_side) return refuse(path, "size");
	TEX_image_desc d{format, w, ht, 0, 0};
	d.has_mipmaps = ((rd32(h + kOffFlags) & kFlagMipCount) && (rd32(h + kOffCaps) & kCapsMipmap)) ? 1 : 0;
	const std::size_t chain = std::size_t(TEX_bytes_needed_for_image(d));
	if (chain > tex_scratch_capacity) return refuse(path, "larger than the decoding buffer");
	if (len - dds_header_bytes < chain) return refuse(path, "shorter than its pixel data");
	*desc = d;
	*pixels = h + dds_header_bytes;
	return 1;
}

int TEX_save_dds(const std::string& path, const unsigned char* pixels, const TEX_image_desc& desc)
{
	if (desc.format != GL_RGBA && desc.format != GL_RGB) {
		__DIDIVI_alert(0,
		               "rel_assert Error! Possibly an out of range vector! Attach the debugger and see who called this!",
		               "in_desc.format == GL_RGBA || in_desc.format == GL_RGB", "TEX_save_dds",
		               "Please report this to Corvane Labs.", t_exit, kDdsSource, kSaveFormatLine);
		return 0;
	}
	std::FILE* fp = std::fopen((app_path + path).c_str(), "wb");
	if (!fp) return 0;
	const bool rgba = desc.format == GL_RGBA;
	const int kind = rgba ? squish::kDxt5 : squish::kDxt1;
	const int ch = rgba ? 4 : 3;
	int w = desc.width, ht = desc.height;
	std::vector<unsigned char> work(std::size_t(w) * ht * 4);
	const std::size_t stride = std::size_t(ch) * w + desc.row_pad;
	for (int r = 0; r < ht; ++r) {
		const unsigned char* s = pixels + r * stride;
		unsigned char* d = work.data() + std::size_t(ht - 1 - r) * w * 4;
		for (int x = 0; x < w; ++x) {
			d[4 * x] = s[ch * x];
			d[4 * x + 1] = s[ch * x + 1];
			d[4 * x + 2] = s[ch * x + 2];
			d[4 * x + 3] = rgba ? s[4 * x + 3] : 255;
		}
	}
	int levels = 1;
	for (int lw = w, lh = ht; lw > 1 || lh > 1; ++levels) {
		lw = lw >= 2 ? lw / 2 : 1;
		lh = lh >= 2 ? lh / 2 : 1;
	}
	unsigned char head[dds_header_bytes] = {};
	std::memcpy(head, "DDS ", 4);
	wr32(head + kOffHeaderSize, kHeaderSize);
	wr32(head + kOffFlags, kWrittenFlags);
	wr32(head + kOffHeight, uint32_t(ht));
	wr32(head + kOffWidth, uint32_t(w));
	wr32(head + kOffLinearSize, uint32_t(squish::GetStorageRequirements(w, ht, kind)));
	wr32(head + kOffMipCount, uint32_t(levels));
	wr32(head + kOffPfSize, kPfSize);
	wr32(head + kOffPfFlags, kPfFourCC);
	std::memcpy(head + kOffFourCC, rgba ? "DXT5" : "DXT1", 4);
	wr32(head + kOffCaps, kWrittenCaps);
	bool ok = std::fwrite(head, 1, sizeof head, fp) == sizeof head;
	std::vector<unsigned char> blocks(std::size_t(squish::GetStorageRequirements(w, ht, kind)));
	for (int l = 0; l < levels && ok; ++l) {
		const int bytes = squish::GetStorageRequirements(w, ht, kind);
		squish::CompressImage(work.data(), w, ht, blocks.data(), kind | squish::kColourIterativeClusterFit);
		ok = std::fwrite(blocks.data(), 1, std::size_t(bytes), fp) == std::size_t(bytes);
		// Shrink in place: 2 x 2 boxes, or pairs along the one axis left.
		const int nw = w >= 2 ? w / 2 : 1, nh = ht >= 2 ? ht / 2 : 1;
		unsigned char* p = work.data();
		for (int y = 0; y < nh; ++y)
			for (int x = 0; x < nw; ++x)
				for (int c = 0; c < 4; ++c) {
					auto at = [&](int xx, int yy) { return unsigned(p[(std::size_t(yy) * w + xx) * 4 + c]); };
					unsigned v;
					if (w >= 2 && ht >= 2)
						v = (at(2 * x, 2 * y) + at(2 * x + 1, 2 * y) + at(2 * x, 2 * y + 1) + at(2 * x + 1, 2 * y + 1)) >> 2;
					else if (ht == 1)
						v = (at(2 * x, 0) + at(std::min(2 * x + 1, w - 1), 0)) >> 1;
					else
						v = (at(0, 2 * y) + at(0, std::min(2 * y + 1, ht - 1))) >> 1;
					p[(std::size_t(y) * nw + x) * 4 + c] = (unsigned char)v;
				}
		w = nw;
		ht = nh;
	}
	ok = (std::fclose(fp) == 0) && ok;
	return ok ? 1 : 0;
}

void TEX_encode_s3tc(const TEX_image_desc& in, const TEX_image_desc& out, const unsigned char* rgba,
                     unsigned char* blocks, TEX_s3tc_quality quality)
{
	const int fit = quality == s3tc_fast ? squish::kColourRangeFit
	                : quality == s3tc_best ? squish::kColourIterativeClusterFit
	                                       : squish::kColourClusterFit;
	squish::CompressImage(rgba, in.width, in.height, blocks, squish_kind(out.format) | fit);
}

void TEX_decode_s3tc(const TEX_image_desc& in, const TEX_image_desc&, const unsigned char* blocks,
                     unsigned char* rgba)
{
	squish::DecompressImage(rgba, in.width, in.height, blocks, squish_kind(in.format));
}
