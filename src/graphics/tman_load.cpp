// The loading pipeline: the file stage finds, decodes and scales an image into a decoding
// buffer (no GL), the upload stage fills the record and hands the pixels to GL under the
// ref's own texture name.
#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdint>
#include <cstring>

#include "graphics/TEX_dds.h"
#include "graphics/TEX_png.h"
#include "graphics/TEX_utils.h"
#include "graphics/tman.h"
#include "runtime/cmdline.h"
#include "runtime/hl_alert.h"
#include "runtime/rec_glext.h"
#include "runtime/rec_mnw.h"
#include "runtime/xer_stream.h"
#include "runtime/hl_globals.h"
#include "runtime/xmap.h"

namespace {

constexpr const char* kSource = "tman";
constexpr int kBadSizeLine = 130;
constexpr int kBadFlagsLine = 132;
constexpr int kBadBytesLine = 133;
constexpr int kBadColourLine = 708;
constexpr int kRefPastTableLine = 766;
constexpr int kMissingFatalLine = 781;
constexpr int kNullRefLine = 969;
constexpr int kNullTexLine = 970;
constexpr int kNotPow2WidthLine = 1017;
constexpr int kNotPow2HeightLine = 1018;
constexpr const char* kMakerSite = "www.kestrix.example";
constexpr const char* kScratchPrefix = "scratch_array";
constexpr std::size_t kScratchPrefixLen = 13;
constexpr float kMipVramFactor = 1.33f;
constexpr int kBleedRadius = 2;
constexpr int kBlankSide = 8;
constexpr unsigned char kBlankGrey = 128;
constexpr int kMinDetectBytes = 8;
constexpr const char* kBlankName = "t_blank_gray";
constexpr std::size_t kScratchAlign = 16;
// Point-sampled refs besides the interface atlas: the cursor sprite and the block of
// background tiles and interface pieces.
constexpr int kNearestRef = 419, kNearestFirst = 425, kNearestLast = 442;
// Where each format keeps its size in the header.
constexpr std::size_t kPngWidthAt = 16, kPngHeightAt = 20, kPngIhdrEnd = 24;
constexpr std::size_t kBmpWidthAt = 18, kBmpHeightAt = 22, kBmpSizesEnd = 26;
constexpr std::size_t kDdsHeightAt = 12, kDdsWidthAt = 16, kDdsSizesEnd = 20;

enum source_kind { src_none = 0, src_scratch = 1, src_file = 2 };

std::string fmt(const char* f, double v)
{
	char b[64];
	std::snprintf(b, sizeof b, f, v);
	return b;
}

bool is_s3tc(unsigned f) { return f >= GL_COMPRESSED_RGB_S3TC_DXT1_EXT && f <= GL_COMPRESSED_RGBA_S3TC_DXT5_EXT; }

int bytes_of(unsigned f)
{
	switch (f) {
	case GL_RGBA:
	case GL_BGRA:
	case GL_COMPRESSED_RGBA_S3TC_DXT1_EXT:
	case GL_COMPRESSED_RGBA_S3TC_DXT3_EXT:
	case GL_COMPRESSED_RGBA_S3TC_DXT5_EXT: return 4;
	case GL_BGR:
	case GL_RGB:
	case GL_COMPRESSED_RGB_S3TC_DXT1_EXT: return 3;
	default: return 1;
	}
}

uint32_t be32(const char* p)
{
	auto u = reinterpret_cast<const unsigned char*>(p);
	return uint32_t(u[0]) << 24 | uint32_t(u[1]) << 16 | uint32_t(u[2]) << 8 | u[3];
}
uint32_t le32(const char* p)
{
	auto u = reinterpret_cast<const unsigned char*>(p);
	return uint32_t(u[0]) | uint32_t(u[1]) << 8 | uint32_t(u[2]) << 16 | uint32_t(u[3]) << 24;
}

// Sizes from the header, before anything is decoded: a side above the largest texture
// is the size alert, never a write past the decoding buffer. Sides below 1 are left to
// the readers, which refuse them.
void check_header_sizes(const xmap_class& f, const std::string& name)
{
	const std::size_t n = std::size_t(f.end - f.begin);
	uint32_t w = 0, h = 0;
	if (n >= kPngIhdrEnd && std::memcmp(f.begin, png_signature, sizeof png_signature) == 0) {
		w = be32(f.begin + kPngWidthAt);
		h = be32(f.begin + kPngHeightAt);
	} else if (n >= kBmpSizesEnd && f.begin[0] == 'B' && f.begin[1] == 'M') {
		w = le32(f.begin + kBmpWidthAt);
		h = le32(f.begin + kBmpHeightAt);
		if (int32_t(h) < 0) h = 0;
		if (int32_t(w) < 0) w = 0;
	} else if (n >= kDdsSizesEnd && std::memcmp(f.begin, "DDS ", 4) == 0) {
		h = le32(f.begin + kDdsHeightAt);
		w = le32(f.begin + kDdsWidthAt);
	}
	constexpr uint32_t kIntMax = 0x7FFFFFFF;
	if (w > uint32_t(tex_max_side)) check_dxy(int(std::min(w, kIntMax)), name);
	if (h > uint32_t(tex_max_side)) check_dxy(int(std::min(h, kIntMax)), name);
}

// Spreads decoded rows of `w` pixels out to a stride of `tex_w` pixels, zeroing the
// padding to the right and the rows from h up to tex_h.
void lay_out_at_stride(unsigned char* p, int bpp, int w, int h, int tex_w, int tex_h)
{
	const std::size_t in = std::size_t(w) * bpp, out = std::size_t(tex_w) * bpp;
	for (int r = h - 1; r >= 0; --r) {
		std::memmove(p + r * out, p + r * in, in);
		std::memset(p + r * out + in, 0, out - in);
	}
	std::memset(p + std::size_t(h) * out, 0, std::size_t(tex_h - h) * out);
}

// Colours the transparent pixels from their opaque neighbours so linear filtering does
// not bleed black into edges.
void bleed(unsigned char* p, int w, int h)
{
	for (int y = 0; y < h; ++y)
		for (int x = 0; x < w; ++x) {
			unsigned char* px = p + (std::size_t(y) * w + x) * 4;
			if (px[3] != 0) continue;
			int sum[3] = {0, 0, 0}, n = 0;
			for (int yy = std::max(0, y - kBleedRadius); yy <= std::min(h - 1, y + kBleedRadius); ++yy)
				for (int xx = std::max(0, x - kBleedRadius); xx <= std::min(w - 1, x + kBleedRadius); ++xx) {
					const unsigned char* q = p + (std::size_t(yy) * w + xx) * 4;
					if (q[3] == 0) continue;
					sum[0] += q[0];
					sum[1] += q[1];
					sum[2] += q[2];
					++n;
				}
			if (n)
				for (int c = 0; c < 3; ++c) px[c] = (unsigned char)(sum[c] / n);
		}
}

bool is_pow2(int v)
{
	float f = float(v);
	int s = v;
	while (s > 1) {
		s /= 2;
		f /= 2;
	}
	return std::fabs(f - 1.0f) <= 0.0001f;
}

}  // namespace

unsigned char* tman_scratch()
{
	if (!scratch_array) {
		auto a = reinterpret_cast<std::uintptr_t>(scratch_array_storage);
		scratch_array = scratch_array_storage + ((kScratchAlign - a % kScratchAlign) % kScratchAlign);
	}
	return scratch_array;
}

void check_dxy(int size, std::string name)
{
	if (size < 1 || size > tex_max_side)
		__DIDIVI_alert(0, "Trying to create a texture either less than 1 or greater than 2048!", name, "value:",
		               fmt("%1.0f", size), t_exit, kSource, kBadSizeLine);
}

float TEX_get_scale(std::string name, int, int flags, int w, int h, int* img_dx, int* img_dy, int* tex_dx,
                    int* tex_dy, int force)
{
	float s = tman.scale_rat();
	if (flags & tex_flag_finer) s = std::min(2 * s, 1.0f);
	if (flags & tex_flag_coarser) s = std::min(s / 2, 1.0f);
	if (flags & tex_flag_full_res) s = 1;
	if (force == 1) s = 1;
	if (w > 0) s = std::max(s, 1.0f / float(w));
	if (h > 0) s = std::max(s, 1.0f / float(h));
	const int limit = glExt.max_tex_size > 0 ? glExt.max_tex_size : tex_max_side;
	while ((s * w > limit || s * h > limit) && s > 1e-6f) s /= 2;
	*img_dx = int(s * w);
	*img_dy = int(s * h);
	if (flags & tex_flag_no_pow2) {
		*tex_dx = *img_dx;
		*tex_dy = *img_dy;
	} else {
		*tex_dx = TEX_next_pow2(*img_dx);
		*tex_dy = TEX_next_pow2(*img_dy);
	}
	for (int v : {w, h, *img_dx, *img_dy, *tex_dx, *tex_dy}) check_dxy(v, name);
	return s;
}

int load_any_into_scratch(std::string name, int pass_on, int flags, int& gl_format, int& has_mips, char& bytes_pp,
                          int match_file_alpha, int* img_dx, int* img_dy, int* tex_dx, int* tex_dy)
{
	if (bytes_pp < 1 || bytes_pp > 4) {
		__DIDIVI_alert(0, "Trying to bind too low or high a number of bytes!", name, "value:", fmt("%1.0f", bytes_pp),
		               t_exit, kSource, kBadBytesLine);
		return 0;
	}
	unsigned char* buf = (flags & tex_flag_into_scratch) ? tman_scratch() : scratch_array_temp;
	std::vector<std::string> cands;
	const bool has_ext = name.size() > 4 && name[name.size() - 4] == '.';
	const std::string stem = has_ext ? name.substr(0, name.size() - 4) : name;
	if (!has_ext)
		cands = {name};
	else if (!cmdline.has_option("--no_dds"))
		cands = {stem + ".dds", stem + ".png", stem + ".bmp"};
	else
		cands = {name, stem + ".png", stem + ".bmp"};
	for (const std::string& c : cands) {
		xmap_class f(c);
		if (!f.begin) continue;
		const std::size_t n = std::size_t(f.end - f.begin);
		check_header_sizes(f, name);
		TEX_image_desc d{};
		bool dds = false;
		const unsigned char* dds_pixels = nullptr;
		int ok = 0;
		const unsigned long want = bytes_pp == 1 ? GL_ALPHA : bytes_pp == 4 ? GL_RGBA : GL_RGB;
		if (n >= kMinDetectBytes && std::memcmp(f.begin, "DDS ", 4) == 0) {
			ok = TEX_load_dds(c, f, &dds_pixels, &d) && d.has_mipmaps;
			dds = ok;
			if (!ok && TEX_load_dds(c, f, &dds_pixels, &d))
				xer << "WARNING: a DDS file without a mipmap chain is not loaded: " << c << "\n";
		} else if (n >= 2 && f.begin[0] == 'B' && f.begin[1] == 'M') {
			ok = TEX_load_bmp(c, f, &buf, want, 0, 0, &d, tex_scratch_capacity);
		} else if (n >= kMinDetectBytes && std::memcmp(f.begin, png_signature, sizeof png_signature) == 0) {
			ok = TEX_load_png(c, f, &buf, want, 0, 0, match_file_alpha, &d, tex_scratch_capacity);
		}
		if (!ok) return 0;
		bytes_pp = char(bytes_of(d.format));
		gl_format = int(d.format);
		has_mips = d.has_mipmaps;
		const float s = TEX_get_scale(name, pass_on, flags, d.width, d.height, img_dx, img_dy, tex_dx, tex_dy, 2);
		if (!dds) {
			if (d.height < 1) return 0;
			const int inv = int(1.0f / s + 0.5f);
			if (inv != 1) TEX_downscale(d, buf, std::min(inv, d.width), std::min(inv, d.height));
			*img_dx = d.width;
			*img_dy = d.height;
			if (!(flags & tex_flag_no_pow2)) {
				*tex_dx = TEX_next_pow2(d.width);
				*tex_dy = TEX_next_pow2(d.height);
			} else {
				*tex_dx = d.width;
				*tex_dy = d.height;
			}
			lay_out_at_stride(buf, bytes_pp, d.width, d.height, *tex_dx, *tex_dy);
			return 1;
		}
		// DDS: coarser resolutions skip stored levels instead of resampling.
		float inv = 1.0f / s;
		while (inv > 1.0f && (d.width > 1 || d.height > 1)) {
			TEX_image_desc top = d;
			top.has_mipmaps = 0;
			dds_pixels += TEX_bytes_needed_for_image(top);
			d.width = std::max(1, d.width / 2);
			d.height = std::max(1, d.height / 2);
			inv /= 2;
		}
		d.has_mipmaps = 1;
		has_mips = 1;
		std::memcpy(buf, dds_pixels, std::size_t(TEX_bytes_needed_for_image(d)));
		if (TEX_flip_y(d, buf) && d.format == GL_COMPRESSED_RGB_S3TC_DXT1_EXT) {
			d.format = GL_COMPRESSED_RGBA_S3TC_DXT1_EXT;
			bytes_pp = 4;
		}
		gl_format = int(d.format);
		*img_dx = *tex_dx = d.width;
		*img_dy = *tex_dy = d.height;
		return 1;
	}
	return 0;
}

int tman_class::load_texture_int(tex_fail_mode fail_mode, int ref, int flags, const std::string& name, int load_now)
{
	std::lock_guard<std::recursive_mutex> hold(lock);
	if (force_finish && name.compare(0, kScratchPrefixLen, kScratchPrefix) != 0) force_finish->finish_now();
	if (flags < 0 || flags > tex_flag_max) {
		__DIDIVI_alert(0, "Trying to bind an invalid filter type!", name, "value:", fmt("%1.0f", flags), t_exit,
		               kSource, kBadFlagsLine);
		flags &= tex_flag_max;
	}
	GLint mx = 0;
	glGetIntegerv(GL_MAX_TEXTURE_SIZE, &mx);
	maxtexdim = mx;
	tex_load_vars job;
	job.fail_mode = fail_mode;
	job.ref = ref;
	job.flags = flags;
	job.name = name;
	job.load_now = load_now;
	const int source = load_texture_io(&job);
	return load_texture_ogl(&job, source);
}

int tman_class::load_texture_io(tex_load_vars* job)
{
	job->gl_format = GL_RGB;
	job->bytes_pp = 3;
	job->match_file_alpha = 0;
	job->has_mips = 0;
	switch (job->flags & tex_flag_colour_mask) {
	case tex_col_rgba: job->gl_format = GL_RGBA, job->bytes_pp = 4; break;
	case tex_col_alpha: job->gl_format = GL_ALPHA, job->bytes_pp = 1; break;
	case tex_col_rgb_file: job->match_file_alpha = 1; break;
	case tex_col_rgba_file: job->gl_format = GL_RGBA, job->bytes_pp = 4, job->match_file_alpha = 1; break;
	case tex_col_depth: job->gl_format = GL_DEPTH_COMPONENT, job->bytes_pp = 1; break;
	case 0:
		__DIDIVI_alert(0, "BAD color enum for tman - see tman.h for valid colors!  We cannot pass 0.", "", "", "",
		               t_exit, kSource, kBadColourLine);
		break;
	default: break;
	}
	int source = src_none;
	if (job->name.empty()) {
		source = src_none;
	} else if (job->name.compare(0, kScratchPrefixLen, kScratchPrefix) == 0) {
		check_dxy(scratch_dx, job->name);
		check_dxy(scratch_dy, job->name);
		TEX_get_scale(job->name, 0, job->flags, scratch_dx, scratch_dy, &job->img_dx, &job->img_dy, &job->tex_dx,
		              &job->tex_dy, 1);
		job->pixels = tman_scratch();
		source = src_scratch;
	} else {
		int fmt_out = int(job->gl_format);
		if (load_any_into_scratch(job->name, 0, job->flags, fmt_out, job->has_mips, job->bytes_pp,
		                          job->match_file_alpha, &job->img_dx, &job->img_dy, &job->tex_dx, &job->tex_dy)) {
			job->gl_format = unsigned(fmt_out);
			job->pixels = scratch_array_temp;
			source = src_file;
		}
	}
	if (job->flags & tex_flag_into_scratch) job->pixels = tman_scratch();
	return source;
}

namespace {

// The blank texture a missing file borrows: made, 8 x 8 mid-grey, the first time one is
// missing, since nothing else in this program ever loads ref 930.
void make_blank(tman_class& t)
{
	if (t.ref_dat.size() > std::size_t(t_blank_gray) && t.ref_dat[t_blank_gray].load_time == tex_loaded &&
	    t.ref_dat[t_blank_gray].tex_id == t_blank_gray)
		return;
	if (t.ref_dat.size() <= std::size_t(t_blank_gray)) t.ref_dat.resize(t_blank_gray + 1);
	tman_class::ref_dat_struct& r = t.ref_dat[t_blank_gray];
	if (r.gl_format == 0) ++t.total_texes;
	if (r.vram == 0) ++t.loaded_texes;
	r.name = kBlankName;
	tex_hash.emplace(r.name, t_blank_gray);
	r.tex_id = t_blank_gray;
	r.img_dx = r.img_dy = r.tex_dx = r.tex_dy = float(kBlankSide);
	r.gl_format = GL_RGB;
	r.load_time = tex_loaded;
	r.flags = tex_col_rgb;
	r.fail_mode = tex_fail_silent;
	r.ref_count = -1;
	r.vram = kBlankSide * kBlankSide * 3;
	unsigned char grey[kBlankSide * kBlankSide * 3];
	std::memset(grey, kBlankGrey, sizeof grey);
	GLint bound = 0;
	glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
	glBindTexture(GL_TEXTURE_2D, t_blank_gray);
	glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
	glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, kBlankSide, kBlankSide, 0, GL_RGB, GL_UNSIGNED_BYTE, grey);
	glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
	glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
	glBindTexture(GL_TEXTURE_2D, GLuint(bound));
}

}  // namespace

int tman_class::load_texture_ogl(tex_load_vars* job, int source)
{
	const int ref = job->ref;
	if (ref < 0 || std::size_t(ref) >= ref_dat.size()) {
		__DIDIVI_alert(0, "(manual_ref>=ref_dat.size()!",
		               "maybe we tried to load some texture thatis not avail, and we have not loaded the t_blank_gray yet?",
		               "", "", t_exit, kSource, kRefPastTableLine);
		return 0;
	}
	if (source == src_none) {
		make_blank(*this);
		ref_dat_struct& r = ref_dat[ref];
		const ref_dat_struct& blank = ref_dat[t_blank_gray];
		if (r.vram != 0 && r.load_time == tex_loaded) --loaded_texes;
		// A record that held its own texture gives it back before borrowing.
		if (r.tex_id != 0 && r.tex_id != t_blank_gray && ref != t_blank_gray) {
			const GLuint n = GLuint(r.tex_id);
			glDeleteTextures(1, &n);
			for (int u = 0; u < tex_unit_count; ++u)
				if (o_tex[u] == r.tex_id) o_tex[u] = -1;
		}
		r.tex_id = blank.tex_id;
		r.img_dx = blank.img_dx;
		r.img_dy = blank.img_dy;
		r.tex_dx = blank.tex_dx;
		r.tex_dy = blank.tex_dy;
		r.gl_format = blank.gl_format;
		r.vram = 0;
		r.load_time = tex_loaded;
		const int mode = job->fail_mode;
		if (mode == tex_fail_silent) return 0;
		int* flag = mode == tex_fail_scenery ? &scene_load_fail
		            : mode == tex_fail_plane ? &plane_load_fail
		            : mode == tex_fail_instl ? &instl_load_fail
		                                     : nullptr;
		if (flag && *flag == 0) *flag = 1;
		if (mode == tex_fail_fatal)
			__DIDIVI_alert(0, "Trying to load a texture that you do not have!",
			               "This smacks of a mis-installed copy of Kestrix!",
			               std::string("Get a new download from ") + kMakerSite + ". The missing file is:", job->name,
			               t_exit, kSource, kMissingFatalLine);
		xer << "WARNING: we are missing the texture: " << job->name << ".\n";
		return 0;
	}

	ref_dat_struct& r = ref_dat[ref];
	const int flags = job->flags;
	const bool compressed = is_s3tc(job->gl_format);
	const bool auto_mip = (flags & tex_flag_mipmaps) && glExt.automini_avail && !compressed && !(flags & tex_flag_sized8);
	const bool nearest = ref == t_interface || ref == kNearestRef || (ref >= kNearestFirst && ref <= kNearestLast);
	const bool reuse = r.load_time == tex_loaded && r.gl_format == job->gl_format && int(r.tex_dx) == job->tex_dx &&
	                   int(r.tex_dy) == job->tex_dy && r.tex_id == ref && (!(flags & tex_flag_mipmaps) || auto_mip);
	const bool soft_mip = (flags & tex_flag_mipmaps) && !job->has_mips && !auto_mip;
	const bool do_bleed = job->bytes_pp == 4 && source == src_file && !compressed && !job->has_mips;

	if (r.vram == 0) ++loaded_texes;
	r.name = job->name;
	r.load_time = tex_loaded;
	r.tex_id = ref;
	r.img_dx = float(job->img_dx);
	r.img_dy = float(job->img_dy);
	r.tex_dx = float(job->tex_dx);
	r.tex_dy = float(job->tex_dy);
	r.gl_format = job->gl_format;
	r.flags = flags;
	r.vram = int(float(job->tex_dx) * float(job->tex_dy) * float(job->bytes_pp) *
	             ((flags & tex_flag_mipmaps) ? kMipVramFactor : 1.0f));
	if (ref == 0) {
		const std::string l = "ref=" + fmt("%6.0f", ref) + ", tex=" + fmt("%6.0f", r.tex_id);
		__DIDIVI_alert(0, "Trying to bind a null ref!", l, "", "", t_exit, kSource, kNullRefLine);
		__DIDIVI_alert(0, "Trying to bind a null tex!", l, "", "", t_exit, kSource, kNullTexLine);
		return 0;
	}
	if (do_bleed) bleed(job->pixels, job->tex_dx, job->tex_dy);
	if (!(flags & tex_flag_no_pow2)) {
		if (!is_pow2(job->tex_dx))
			__DIDIVI_alert(0, "load_tex: Trying to read a texture that is not a power of 2!", job->name, "value:",
			               fmt("%1.0f", job->tex_dx), t_exit, kSource, kNotPow2WidthLine);
		if (!is_pow2(job->tex_dy))
			__DIDIVI_alert(0, "load_tex: Trying to read a texture that is not a power of 2!", job->name, "value:",
			               fmt("%1.0f", job->tex_dy), t_exit, kSource, kNotPow2HeightLine);
	}
	check_dxy(job->tex_dx, job->name);
	check_dxy(job->tex_dy, job->name);

	const bool was_on = glIsEnabled(GL_TEXTURE_2D);
	if (!was_on) glEnable(GL_TEXTURE_2D);
	TEX_bind_ref(ref, 0, 0);
	if (!was_on) glDisable(GL_TEXTURE_2D);

	GLenum internal = job->gl_format;
	if (internal == GL_BGR) internal = GL_RGB;
	if (internal == GL_BGRA) internal = GL_RGBA;
	if (flags & tex_flag_half_float) {
		if (internal == GL_RGB) internal = GL_RGB16F_ARB;
		else if (internal == GL_RGBA) internal = GL_RGBA16F_ARB;
		else if (internal == GL_ALPHA) internal = GL_ALPHA16F_ARB;
	}
	if (internal == GL_DEPTH_COMPONENT) internal = GL_DEPTH_COMPONENT24;
	if (!compressed && !job->has_mips && (flags & tex_flag_sized8)) {
		if (internal == GL_RGB) internal = GL_RGB8;
		else if (internal == GL_RGBA) internal = GL_RGBA8;
	}

	GLint align = 4;
	glGetIntegerv(GL_UNPACK_ALIGNMENT, &align);
	glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
	if (auto_mip) glTexParameteri(GL_TEXTURE_2D, GL_GENERATE_MIPMAP, GL_TRUE);
	unsigned char* data = job->pixels;
	int w = job->tex_dx, h = job->tex_dy;
	for (int level = 0;; ++level) {
		TEX_image_desc d{job->gl_format, w, h, 0, 0};
		if (compressed) {
			const int bytes = TEX_bytes_needed_for_image(d);
			if (reuse && glExt.glCompressedTexSubImage2DARB)
				glExt.glCompressedTexSubImage2DARB(GL_TEXTURE_2D, level, 0, 0, w, h, job->gl_format, bytes, data);
			else if (glExt.glCompressedTexImage2DARB)
				glExt.glCompressedTexImage2DARB(GL_TEXTURE_2D, level, internal, w, h, 0, bytes, data);
		} else if (reuse) {
			glTexSubImage2D(GL_TEXTURE_2D, level, 0, 0, w, h, job->gl_format, GL_UNSIGNED_BYTE, data);
		} else {
			glTexImage2D(GL_TEXTURE_2D, level, GLint(internal), w, h, 0, job->gl_format, GL_UNSIGNED_BYTE, data);
		}
		if (w == 1 && h == 1) break;
		if (job->has_mips) {
			data += TEX_bytes_needed_for_image(d);
			w = std::max(1, w / 2);
			h = std::max(1, h / 2);
		} else if (soft_mip) {
			TEX_downscale(d, data, std::min(2, w), std::min(2, h));
			w = d.width;
			h = d.height;
		} else {
			break;
		}
	}
	glPixelStorei(GL_UNPACK_ALIGNMENT, align);
	if (compressed) {
		GLint is_comp = 0, size = 0;
		glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_COMPRESSED, &is_comp);
		if (is_comp) {
			glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_COMPRESSED_IMAGE_SIZE, &size);
			r.vram = int(float(size) * ((flags & tex_flag_mipmaps) ? kMipVramFactor : 1.0f));
		}
	}
	const GLint clamp = glExt.tex_clamp_avail ? GL_CLAMP_TO_EDGE : GL_CLAMP;
	glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, (flags & (tex_flag_clamp_st | tex_flag_clamp_s)) ? clamp : GL_REPEAT);
	glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, (flags & tex_flag_clamp_st) ? clamp : GL_REPEAT);
	if (glExt.aniso_avail) glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MAX_ANISOTROPY_EXT, 1.0f);
	if (nearest) {
		glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
		glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
	} else {
		glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
		glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER,
		                (flags & tex_flag_mipmaps) ? GL_LINEAR_MIPMAP_LINEAR : GL_LINEAR);
	}
	if (job->gl_format == GL_DEPTH_COMPONENT) {
		glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_COMPARE_MODE, GL_COMPARE_R_TO_TEXTURE);
		glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_COMPARE_FUNC, GL_LEQUAL);
	}
	return ref;
}
