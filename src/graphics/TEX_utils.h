#pragma once
// Images in memory: one pixel buffer plus a TEX_image_desc, rows bottom first as OpenGL
// wants them. The format-independent operations (chain size, vertical flip including the
// in-block flip of S3TC data, box downscale, colour key, compositing), the by-content
// loaders, and the texture-unit binding cache with its environment recipes.
#include <GL/gl.h>
#include <GL/glext.h>

#include <cstddef>
#include <cstdint>
#include <string>

struct TEX_image_desc {
	unsigned int format;  // OpenGL pixel format
	int width;        // pixels per row of the top level
	int height;       // rows of the top level
	int row_pad;      // bytes after each row of an uncompressed level
	int has_mipmaps;  // 1: the whole chain follows the top level
};

// The capacity every reader assumes of a buffer it is handed: the scratch buffers.
constexpr std::size_t tex_scratch_capacity = std::size_t(2048) * 2048 * 4;
// The largest side any image may have here.
constexpr int tex_max_side = 2048;

// Bytes of the top level, or of the whole chain with has_mipmaps; 0 for an unknown format
// or a size below 1.
int TEX_bytes_needed_for_image(const TEX_image_desc& d);
// Turns the image (every level) upside down in place. Non-zero when a DXT1 block uses its
// transparent index.
int TEX_flip_y(const TEX_image_desc& d, unsigned char* pixels);
// Box-averages in place by fx across and fy down; the descriptor takes the new size.
void TEX_downscale(TEX_image_desc& d, unsigned char* pixels, int fx, int fy);
void TEX_chroma_key(const TEX_image_desc& d, unsigned char* rgba, const unsigned char* key, int tolerance);
void TEX_composite(const TEX_image_desc& src_d, const TEX_image_desc& dst_d, const unsigned char* src,
                   unsigned char* dst, float left, float bottom, float right, float top);

#pragma pack(push, 1)
struct DXTColBlock {
	uint16_t col0;
	uint16_t col1;
	uint8_t row[4];
};
struct DXT5AlphaBlock {
	uint8_t alpha0;
	uint8_t alpha1;
	uint8_t row[6];
};
#pragma pack(pop)

void nv_gamma_correct(DXTColBlock* b);
int nv_flip_blocks_dxtc1(DXTColBlock* first, int count, int found);
int nv_flip_blocks_dxtc3(DXTColBlock* first, int count, int found);
int nv_flip_blocks_dxtc5(DXTColBlock* first, int count, int found);
void nv_flip_dxt5_alpha(DXT5AlphaBlock* b);
bool IncColor565(uint16_t& c);
bool DecColor565(uint16_t& c);

// Loads a BMP or PNG by content (no DDS). With *buf null the reader allocates (heap_malloc;
// the caller frees with heap_free); a caller's buffer is taken to be a scratch buffer
// (tex_scratch_capacity bytes), and an image that would not fit it is refused.
int TEX_load_any(const std::string& path, unsigned char** buf, unsigned long desired_format, int pad_to,
                 int match_file_alpha, TEX_image_desc* desc);
// The name with its 4-character extension cut off, then ".png", then ".bmp".
int TEX_load_any_ext(const std::string& path, unsigned char** buf, unsigned long desired_format, int pad_to,
                     int match_file_alpha, TEX_image_desc* desc);

// Texture units. The name and environment mode last set on each of units 0..7; -1 unknown.
constexpr int tex_unit_count = 8;
extern int o_tex[tex_unit_count];
extern int o_mod[tex_unit_count];
// Debug switch "perf/kill_tex": non-zero draws every texture but the interface atlas blank.
extern float gKillTex;

void TEX_bind_ref(int tex, int unit, int mode);
void TEX_reset_bind();
void TEX_set_blend_level(int unit, float level);

// Environment recipe numbers.
enum {
	tex_env_modulate = 0,
	tex_env_add_col = 1,
	tex_env_add_both = 2,
	tex_env_mod_tex_alpha = 10,
	tex_env_alpha_diff = 11,
	tex_env_alpha_inv_mod = 12,
	tex_env_col_inv_alpha = 13,
	tex_env_pass = 14,
	tex_env_opaque = 15,
	tex_env_mod_opaque = 16,
	tex_env_alpha_grey = 17,
	tex_env_decal_alpha = 18,
	tex_env_mix_frag_alpha = 19,
	tex_env_mod_by_alpha = 20,
	tex_env_blend_level = 21,
	tex_env_over_const = 22,
	tex_env_mod_primary = 23,
	tex_env_primary_lerp = 24,
	tex_env_keep = 25,
};
