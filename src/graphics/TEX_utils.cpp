#include "graphics/TEX_utils.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

#include "graphics/TEX_png.h"
#include "graphics/colr.h"
#include "runtime/UTL_stat.h"
#include "runtime/hl_alert.h"
#include "runtime/rec_glext.h"
#include "runtime/rec_ren.h"
#include "runtime/xmap.h"

namespace {

constexpr const char* kUtilsSource = "VAvered/TEX/TEX_utils";
constexpr int kIllegalFormatLine = 441;
constexpr int kDxt1BlockBytes = 8;
constexpr int kDxt16BlockBytes = 16;
constexpr int kBlockSide = 4;
constexpr int kPngSigBytes = 8;

bool is_compressed(GLenum f)
{
	return f >= GL_COMPRESSED_RGB_S3TC_DXT1_EXT && f <= GL_COMPRESSED_RGBA_S3TC_DXT5_EXT;
}

int block_bytes(GLenum f)
{
	return (f == GL_COMPRESSED_RGB_S3TC_DXT1_EXT || f == GL_COMPRESSED_RGBA_S3TC_DXT1_EXT) ? kDxt1BlockBytes
	                                                                                       : kDxt16BlockBytes;
}

// Bytes of one level, -1 for a format this layer does not know.
long long level_bytes(GLenum f, long long w, long long h, long long pad)
{
	switch (f) {
	case GL_ALPHA: return (w + pad) * h;
	case GL_RGB:
	case GL_BGR: return (3 * w + pad) * h;
	case GL_RGBA:
	case GL_BGRA: return (4 * w + pad) * h;
	case GL_DEPTH_COMPONENT:
	case GL_DEPTH_COMPONENT32: return 4 * w * h;
	default:
		if (is_compressed(f)) return ((w + 3) / 4) * ((h + 3) / 4) * block_bytes(f);
		return -1;
	}
}

void next_level(int& w, int& h)
{
	if (w >= 2) w /= 2;
	if (h > 1) h /= 2;
}

// --- S3TC blocks ---------------------------------------------------------------------

int colour_index(const DXTColBlock* b, int i) { return (b->row[i / 4] >> (2 * (i % 4))) & 3; }

bool uses_transparent_index(const DXTColBlock* b)
{
	if (b->col0 > b->col1) return false;
	for (int i = 0; i < 16; ++i)
		if (colour_index(b, i) == 3) return true;
	return false;
}

void reverse_colour_rows(DXTColBlock* b, int n)
{
	for (int i = 0; i < n / 2; ++i) std::swap(b->row[i], b->row[n - 1 - i]);
}

void reverse_dxt3_alpha(uint8_t* a, int n)
{
	for (int i = 0; i < n / 2; ++i) {
		std::swap(a[2 * i], a[2 * (n - 1 - i)]);
		std::swap(a[2 * i + 1], a[2 * (n - 1 - i) + 1]);
	}
}

uint64_t dxt5_bits(const DXT5AlphaBlock* b)
{
	uint64_t v = 0;
	for (int i = 5; i >= 0; --i) v = (v << 8) | b->row[i];
	return v;
}

void set_dxt5_bits(DXT5AlphaBlock* b, uint64_t v)
{
	for (int i = 0; i < 6; ++i) b->row[i] = uint8_t(v >> (8 * i));
}

void reverse_dxt5_alpha(DXT5AlphaBlock* b, int n)
{
	constexpr uint64_t kRowMask = 0xFFF;
	uint64_t v = dxt5_bits(b), out = v;
	for (int r = 0; r < n; ++r) {
		uint64_t row = (v >> (12 * r)) & kRowMask;
		int to = n - 1 - r;
		out &= ~(kRowMask << (12 * to));
		out |= row << (12 * to);
	}
	set_dxt5_bits(b, out);
}

enum class dxt_kind { dxt1, dxt3, dxt5 };

// Reverses the first n pixel rows of `count` blocks; for DXT1, tells whether a block uses
// its transparent index (tested before gamma correction, while not yet found).
int flip_blocks(uint8_t* first, int count, int found, dxt_kind kind, int n)
{
	const int step = kind == dxt_kind::dxt1 ? kDxt1BlockBytes : kDxt16BlockBytes;
	for (int i = 0; i < count; ++i) {
		uint8_t* blk = first + i * step;
		DXTColBlock* col = reinterpret_cast<DXTColBlock*>(kind == dxt_kind::dxt1 ? blk : blk + 8);
		if (kind == dxt_kind::dxt1 && !found && uses_transparent_index(col)) found = 1;
		if (kind == dxt_kind::dxt3) reverse_dxt3_alpha(blk, n);
		if (kind == dxt_kind::dxt5) reverse_dxt5_alpha(reinterpret_cast<DXT5AlphaBlock*>(blk), n);
		reverse_colour_rows(col, n);
		if (colr.gamma_on) nv_gamma_correct(col);
	}
	return kind == dxt_kind::dxt1 ? found : 0;
}

dxt_kind kind_of(GLenum f)
{
	if (f == GL_COMPRESSED_RGBA_S3TC_DXT3_EXT) return dxt_kind::dxt3;
	if (f == GL_COMPRESSED_RGBA_S3TC_DXT5_EXT) return dxt_kind::dxt5;
	return dxt_kind::dxt1;
}

uint16_t gamma_565(uint16_t c)
{
	int r = (c >> 11) & 31, g = (c >> 5) & 63, b = c & 31;
	int r8 = colr.gamma_table[(r << 3) | (r >> 2)];
	int g8 = colr.gamma_table[(g << 2) | (g >> 4)];
	int b8 = colr.gamma_table[(b << 3) | (b >> 2)];
	return uint16_t(((r8 >> 3) << 11) | ((g8 >> 2) << 5) | (b8 >> 3));
}

void remap_indices(DXTColBlock* b, bool three_colour)
{
	for (int r = 0; r < 4; ++r) {
		uint8_t out = 0;
		for (int p = 0; p < 4; ++p) {
			int ix = (b->row[r] >> (2 * p)) & 3;
			if (!three_colour || ix < 2) ix ^= 1;
			out = uint8_t(out | (ix << (2 * p)));
		}
		b->row[r] = out;
	}
}

}  // namespace

int TEX_bytes_needed_for_image(const TEX_image_desc& d)
{
	// A size below 1 would never reach the 1 x 1 level that ends the chain.
	if (d.width < 1 || d.height < 1) return 0;
	int w = d.width, h = d.height;
	long long total = 0;
	for (;;) {
		long long b = level_bytes(d.format, w, h, d.row_pad);
		if (b < 0) return 0;
		total += b;
		if ((w == 1 && h == 1) || !d.has_mipmaps) break;
		next_level(w, h);
	}
	return int(total);
}

int TEX_flip_y(const TEX_image_desc& d, unsigned char* pixels)
{
	const bool compressed = is_compressed(d.format);
	if (!compressed && level_bytes(d.format, 1, 1, 0) < 0) {
		__DIDIVI_alert(0, "Illegal format!", "", "", "", t_exit, kUtilsSource, kIllegalFormatLine);
		return 0;
	}
	if (d.width < 1 || d.height < 1) return 0;
	int w = d.width, h = d.height, result = 0;
	unsigned char* level = pixels;
	for (;;) {
		long long bytes = level_bytes(d.format, w, h, d.row_pad);
		if (!compressed) {
			if (d.format == GL_DEPTH_COMPONENT || d.format == GL_DEPTH_COMPONENT32) {
				__DIDIVI_alert(0, "Illegal format!", "", "", "", t_exit, kUtilsSource, kIllegalFormatLine);
				return 0;
			}
			long long row = bytes / h;
			for (int i = 0; i < h / 2; ++i)
				std::swap_ranges(level + i * row, level + (i + 1) * row, level + (h - 1 - i) * row);
		} else {
			const dxt_kind kind = kind_of(d.format);
			const int bsize = block_bytes(d.format);
			const int bw = std::max(1, (w + 3) / kBlockSide);
			const long long row = (long long)bw * bsize;
			int found = 0;
			if (h < kBlockSide) {
				// One block row holding h pixel rows: only those are reversed.
				found |= flip_blocks(level, bw, found, kind, h);
			} else {
				const int bh = h / kBlockSide;
				for (int j = 0; j < bh / 2; ++j) {
					unsigned char* a = level + j * row;
					unsigned char* b = level + (bh - 1 - j) * row;
					found |= flip_blocks(a, bw, found, kind, kBlockSide);
					found |= flip_blocks(b, bw, found, kind, kBlockSide);
					std::swap_ranges(a, a + row, b);
				}
				// The middle block row of an odd count stays in place, flipped inside.
				if (bh % 2) found |= flip_blocks(level + (bh / 2) * row, bw, found, kind, kBlockSide);
			}
			result |= found;
		}
		if ((w == 1 && h == 1) || !d.has_mipmaps) break;
		level += bytes;
		next_level(w, h);
	}
	return result;
}

int nv_flip_blocks_dxtc1(DXTColBlock* first, int count, int found)
{
	return flip_blocks(reinterpret_cast<uint8_t*>(first), count, found, dxt_kind::dxt1, kBlockSide);
}

int nv_flip_blocks_dxtc3(DXTColBlock* first, int count, int found)
{
	return flip_blocks(reinterpret_cast<uint8_t*>(first), count, found, dxt_kind::dxt3, kBlockSide);
}

int nv_flip_blocks_dxtc5(DXTColBlock* first, int count, int found)
{
	return flip_blocks(reinterpret_cast<uint8_t*>(first), count, found, dxt_kind::dxt5, kBlockSide);
}

void nv_flip_dxt5_alpha(DXT5AlphaBlock* b) { reverse_dxt5_alpha(b, kBlockSide); }

void nv_gamma_correct(DXTColBlock* b)
{
	const bool three = b->col0 <= b->col1;
	uint16_t c0 = gamma_565(b->col0), c1 = gamma_565(b->col1);
	if ((c0 <= c1) == three) {
		b->col0 = c0;
		b->col1 = c1;
		return;
	}
	if (c0 != c1) {
		b->col0 = c1;
		b->col1 = c0;
		remap_indices(b, three);
		return;
	}
	// A four-colour block whose endpoints met: part them by one step to keep the mode.
	constexpr uint16_t kWhite = 0xFFFF;
	if (c0 == kWhite) {
		uint16_t lower = c0;
		DecColor565(lower);
		b->col0 = c0;
		b->col1 = lower;
	} else {
		uint16_t higher = c0;
		IncColor565(higher);
		b->col0 = higher;
		b->col1 = c0;
	}
	remap_indices(b, false);
}

bool IncColor565(uint16_t& c)
{
	int r = (c >> 11) & 31, g = (c >> 5) & 63, b = c & 31;
	if (g < 63) ++g;
	else if (b < 31) ++b;
	else if (r < 31) ++r;
	else return false;
	c = uint16_t((r << 11) | (g << 5) | b);
	return true;
}

bool DecColor565(uint16_t& c)
{
	int r = (c >> 11) & 31, g = (c >> 5) & 63, b = c & 31;
	if (g > 0) --g;
	else if (b > 0) --b;
	else if (r > 0) --r;
	else return false;
	c = uint16_t((r << 11) | (g << 5) | b);
	return true;
}

void TEX_downscale(TEX_image_desc& d, unsigned char* pixels, int fx, int fy)
{
	if (fx < 1 || fy < 1) return;
	const int ch = d.format == GL_RGBA ? 4 : d.format == GL_RGB ? 3 : 1;
	const int nw = d.width / fx, nh = d.height / fy;
	const long long in_row = (long long)d.width * ch + d.row_pad;
	const long long out_row = (long long)nw * ch + d.row_pad;
	// fx·fy divides also where a factor is not a power of two; for powers of two this is
	// the same truncating shift.
	const unsigned div = unsigned(fx) * unsigned(fy);
	for (int y = 0; y < nh; ++y)
		for (int x = 0; x < nw; ++x)
			for (int c = 0; c < ch; ++c) {
				unsigned sum = 0;
				for (int j = 0; j < fy; ++j)
					for (int i = 0; i < fx; ++i) sum += pixels[(y * fy + j) * in_row + (x * fx + i) * ch + c];
				pixels[y * out_row + x * ch + c] = (unsigned char)(sum / div);
			}
	d.width = nw;
	d.height = nh;
}

void TEX_chroma_key(const TEX_image_desc& d, unsigned char* rgba, const unsigned char* key, int tolerance)
{
	const long long row = (long long)d.width * 4 + d.row_pad;
	for (int y = 0; y < d.height; ++y)
		for (int x = 0; x < d.width; ++x) {
			unsigned char* p = rgba + y * row + x * 4;
			int diff = std::abs(p[0] - key[0]) + std::abs(p[1] - key[1]) + std::abs(p[2] - key[2]);
			if (diff < tolerance) p[3] = 0;
		}
}

void TEX_composite(const TEX_image_desc& sd, const TEX_image_desc& dd, const unsigned char* src, unsigned char* dst,
                   float left, float bottom, float right, float top)
{
	const int sch = sd.format == GL_RGBA ? 4 : 3, dch = dd.format == GL_RGBA ? 4 : 3;
	const long long srow = (long long)sd.width * sch + sd.row_pad, drow = (long long)dd.width * dch + dd.row_pad;
	const int x0 = std::max(int(std::floor(left)), 0), x1 = std::min(int(std::ceil(right)), dd.width);
	const int y0 = std::max(int(std::floor(bottom)), 0), y1 = std::min(int(std::ceil(top)), dd.height);
	for (int y = y0; y < y1; ++y)
		for (int x = x0; x < x1; ++x) {
			float sx = right == left ? sd.width / 2.0f : sd.width / (right - left) * (x - left);
			float sy = top == bottom ? sd.height / 2.0f : sd.height / (top - bottom) * (y - bottom);
			int ix = int(std::floor(sx)), iy = int(std::floor(sy));
			float fx = sx - ix, fy = sy - iy;
			const int tx[4] = {ix, ix + 1, ix, ix + 1}, ty[4] = {iy, iy, iy + 1, iy + 1};
			float w[4] = {(1 - fx) * (1 - fy), fx * (1 - fy), (1 - fx) * fy, fx * fy};
			const unsigned char* tap[4];
			for (int k = 0; k < 4; ++k) {
				if (tx[k] < 0 || tx[k] >= sd.width || ty[k] < 0 || ty[k] >= sd.height) {
					w[k] = 0;
					tap[k] = nullptr;
				} else {
					tap[k] = src + ty[k] * srow + tx[k] * sch;
				}
			}
			unsigned char* p = dst + y * drow + x * dch;
			if (dch == 4) {
				float add = 0;
				for (int k = 0; k < 4; ++k)
					if (tap[k]) add += sch == 4 ? w[k] * tap[k][3] : w[k] * 255.0f;
				p[3] = (unsigned char)std::clamp(p[3] + add, 0.0f, 255.0f);
			}
			if (sch == 4)
				for (int k = 0; k < 4; ++k)
					if (tap[k]) w[k] *= tap[k][3] / 255.0f;
			float wsum = w[0] + w[1] + w[2] + w[3];
			for (int c = 0; c < 3; ++c) {
				float v = p[c] * (1 - wsum);
				for (int k = 0; k < 4; ++k)
					if (tap[k]) v += w[k] * tap[k][c];
				p[c] = (unsigned char)std::clamp(v, 0.0f, 255.0f);
			}
		}
}

int TEX_load_any(const std::string& path, unsigned char** buf, unsigned long desired_format, int pad_to,
                 int match_file_alpha, TEX_image_desc* desc)
{
	const std::size_t capacity = tex_scratch_capacity;
	xmap_class f(path);
	if (!f.begin || f.end - f.begin < kPngSigBytes) return 0;
	if (f.begin[0] == 'B' && f.begin[1] == 'M') {
		int r = TEX_load_bmp(path, f, buf, desired_format, pad_to, 0, desc, capacity);
		if (r) return r;
	}
	if (std::memcmp(f.begin, png_signature, kPngSigBytes) == 0)
		return TEX_load_png(path, f, buf, desired_format, pad_to, 0, match_file_alpha, desc, capacity);
	return 0;
}

int TEX_load_any_ext(const std::string& path, unsigned char** buf, unsigned long desired_format, int pad_to,
                     int match_file_alpha, TEX_image_desc* desc)
{
	std::string stem = path;
	if (stem.size() > 4 && stem[stem.size() - 4] == '.') stem.resize(stem.size() - 4);
	if (TEX_load_any(stem + ".png", buf, desired_format, pad_to, match_file_alpha, desc)) return 1;
	if (TEX_load_any(stem + ".bmp", buf, desired_format, pad_to, match_file_alpha, desc)) return 1;
	return 0;
}

// --- texture units -----------------------------------------------------------------------

int o_tex[tex_unit_count];
int o_mod[tex_unit_count];
float gKillTex = 0.0f;
static UTL_stat kill_tex_stat(&gKillTex, "perf/kill_tex", stat_debug_switch);

namespace {

constexpr int kInterfaceRef = 392;
constexpr int kBlankRef = 930;
constexpr int kModeKeepEnv = tex_env_keep;

struct env_arg {
	GLenum src, op;
};

void env_i(GLenum p, GLint v) { glTexEnvi(GL_TEXTURE_ENV, p, v); }

void env_colour(float r, float g, float b, float a)
{
	const float c[4] = {r, g, b, a};
	glTexEnvfv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, c);
}

void combine(GLenum which, GLenum fn, std::initializer_list<env_arg> args)
{
	const bool rgb = which == GL_COMBINE_RGB;
	env_i(which, fn);
	int n = 0;
	for (const env_arg& a : args) {
		env_i((rgb ? GL_SOURCE0_RGB : GL_SOURCE0_ALPHA) + n, a.src);
		env_i((rgb ? GL_OPERAND0_RGB : GL_OPERAND0_ALPHA) + n, a.op);
		++n;
	}
}

void alpha_scale(float s) { glTexEnvf(GL_TEXTURE_ENV, GL_ALPHA_SCALE, s); }

constexpr env_arg prev_col{GL_PREVIOUS, GL_SRC_COLOR}, prev_a{GL_PREVIOUS, GL_SRC_ALPHA},
	prev_1ma{GL_PREVIOUS, GL_ONE_MINUS_SRC_ALPHA}, tex_col{GL_TEXTURE, GL_SRC_COLOR}, tex_a{GL_TEXTURE, GL_SRC_ALPHA},
	const_col{GL_CONSTANT, GL_SRC_COLOR}, const_a{GL_CONSTANT, GL_SRC_ALPHA}, prim_col{GL_PRIMARY_COLOR, GL_SRC_COLOR};

// Sets the recipe of `mode`; false when the mode has none (a plain environment mode).
bool apply_recipe(int mode)
{
	auto start = [] { env_i(GL_TEXTURE_ENV_MODE, GL_COMBINE); };
	auto opaque_start = [&] {
		env_colour(1, 1, 1, 1);
		start();
	};
	switch (mode) {
	case tex_env_add_col:
		start();
		combine(GL_COMBINE_RGB, GL_ADD, {prev_col, tex_col});
		combine(GL_COMBINE_ALPHA, GL_REPLACE, {prev_a});
		alpha_scale(1.0f);
		return true;
	case tex_env_add_both:
		start();
		combine(GL_COMBINE_RGB, GL_ADD, {prev_col, tex_col});
		combine(GL_COMBINE_ALPHA, GL_ADD, {prev_a, tex_a});
		alpha_scale(1.0f);
		return true;
	case tex_env_mod_tex_alpha:
		start();
		combine(GL_COMBINE_RGB, GL_MODULATE, {prev_col, tex_col});
		combine(GL_COMBINE_ALPHA, GL_REPLACE, {tex_a});
		alpha_scale(1.0f);
		return true;
	case tex_env_alpha_diff:
		start();
		combine(GL_COMBINE_RGB, GL_REPLACE, {prev_col});
		combine(GL_COMBINE_ALPHA, GL_SUBTRACT, {tex_a, prev_a});
		alpha_scale(4.0f);
		return true;
	case tex_env_alpha_inv_mod:
		start();
		combine(GL_COMBINE_RGB, GL_REPLACE, {prev_col});
		combine(GL_COMBINE_ALPHA, GL_MODULATE, {prev_1ma, tex_a});
		alpha_scale(1.0f);
		return true;
	case tex_env_col_inv_alpha:
		start();
		env_colour(1, 1, 1, 1);
		combine(GL_COMBINE_RGB, GL_MODULATE, {prev_col, prev_1ma});
		combine(GL_COMBINE_ALPHA, GL_REPLACE, {const_a});
		alpha_scale(1.0f);
		return true;
	case tex_env_pass:
		start();
		combine(GL_COMBINE_RGB, GL_REPLACE, {prev_col});
		combine(GL_COMBINE_ALPHA, GL_REPLACE, {prev_a});
		alpha_scale(1.0f);
		return true;
	case tex_env_opaque:
		opaque_start();
		combine(GL_COMBINE_RGB, GL_REPLACE, {prev_col});
		combine(GL_COMBINE_ALPHA, GL_REPLACE, {const_a});
		alpha_scale(1.0f);
		return true;
	case tex_env_mod_opaque:
		opaque_start();
		combine(GL_COMBINE_RGB, GL_MODULATE, {prev_col, tex_col});
		combine(GL_COMBINE_ALPHA, GL_REPLACE, {const_a});
		alpha_scale(1.0f);
		return true;
	case tex_env_alpha_grey:
		opaque_start();
		combine(GL_COMBINE_RGB, GL_REPLACE, {tex_a});
		combine(GL_COMBINE_ALPHA, GL_REPLACE, {const_a});
		alpha_scale(1.0f);
		return true;
	case tex_env_decal_alpha:
		start();
		combine(GL_COMBINE_RGB, GL_INTERPOLATE, {tex_col, prev_col, tex_a});
		combine(GL_COMBINE_ALPHA, GL_REPLACE, {prev_a});
		alpha_scale(1.0f);
		return true;
	case tex_env_mix_frag_alpha:
		start();
		combine(GL_COMBINE_RGB, GL_INTERPOLATE, {tex_col, prev_col, prev_a});
		combine(GL_COMBINE_ALPHA, GL_REPLACE, {prev_a});
		alpha_scale(1.0f);
		return true;
	case tex_env_mod_by_alpha:
		start();
		combine(GL_COMBINE_RGB, GL_MODULATE, {prev_col, tex_a});
		combine(GL_COMBINE_ALPHA, GL_REPLACE, {prev_a});
		alpha_scale(1.0f);
		return true;
	case tex_env_blend_level:
		start();
		combine(GL_COMBINE_RGB, GL_INTERPOLATE, {tex_col, prev_col, const_col});
		combine(GL_COMBINE_ALPHA, GL_INTERPOLATE, {tex_a, prev_a, const_a});
		alpha_scale(1.0f);
		return true;
	case tex_env_over_const:
		start();
		combine(GL_COMBINE_RGB, GL_INTERPOLATE, {tex_col, const_col, tex_a});
		combine(GL_COMBINE_ALPHA, GL_REPLACE, {prev_a});
		alpha_scale(1.0f);
		return true;
	case tex_env_mod_primary:
		start();
		combine(GL_COMBINE_RGB, GL_MODULATE, {prev_col, prim_col});
		combine(GL_COMBINE_ALPHA, GL_REPLACE, {prev_a});
		return true;
	case tex_env_primary_lerp: {
		glTexEnvf(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, float(GL_COMBINE));
		env_colour(0, 0, 0, 0);
		auto f = [](GLenum p, GLenum v) { glTexEnvf(GL_TEXTURE_ENV, p, float(v)); };
		f(GL_COMBINE_RGB, GL_INTERPOLATE);
		f(GL_SOURCE0_RGB, GL_PRIMARY_COLOR);
		f(GL_OPERAND0_RGB, GL_SRC_COLOR);
		f(GL_SOURCE1_RGB, GL_CONSTANT);
		f(GL_OPERAND1_RGB, GL_SRC_COLOR);
		f(GL_SOURCE2_RGB, GL_TEXTURE);
		f(GL_OPERAND2_RGB, GL_SRC_COLOR);
		f(GL_COMBINE_ALPHA, GL_REPLACE);
		f(GL_SOURCE0_ALPHA, GL_TEXTURE);
		f(GL_OPERAND0_ALPHA, GL_SRC_ALPHA);
		alpha_scale(1.0f);
		return true;
	}
	default: return false;
	}
}

}  // namespace

void TEX_bind_ref(int tex, int unit, int mode)
{
	if (unit < 0 || unit >= tex_unit_count) return;
	if (mode == tex_env_modulate) mode = GL_MODULATE;
	if (gKillTex != 0.0f && tex != kInterfaceRef) tex = kBlankRef;
	if (tex == o_tex[unit] && mode == o_mod[unit]) return;
	if (unit > 0) glActiveTexture(GL_TEXTURE0 + unit);
	if (tex != o_tex[unit]) {
		glBindTexture(GL_TEXTURE_2D, GLuint(tex));
		o_tex[unit] = tex;
	}
	if (mode != kModeKeepEnv && mode != o_mod[unit]) {
		o_mod[unit] = mode;
		if (!glExt.combine_avail || !apply_recipe(mode)) env_i(GL_TEXTURE_ENV_MODE, mode);
	}
	if (unit > 0) glActiveTexture(GL_TEXTURE0);
}

void TEX_reset_bind()
{
	for (int u = 0; u < tex_unit_count; ++u) o_tex[u] = o_mod[u] = -1;
}

void TEX_set_blend_level(int unit, float level)
{
	// The caches and the recipes know eight units at most, whatever the card has.
	if (unit < 0 || unit >= std::min(ren.tex_units, tex_unit_count)) return;
	if (unit > 0) glActiveTexture(GL_TEXTURE0 + unit);
	env_colour(level, level, level, level);
	if (unit > 0) glActiveTexture(GL_TEXTURE0);
}
