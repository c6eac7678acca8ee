#pragma once
// The texture manager `tman`. Every texture is known by a ref, at once the index of its
// record in `ref_dat` and the OpenGL texture name it is uploaded under. Refs 1..1134 are
// fixed slots chosen by callers; refs from 1135 up are handed out by file name and
// reference-counted. Every public operation takes `lock`.
#include <cstddef>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

// What a missing texture file does.
using tex_fail_mode = int;
constexpr tex_fail_mode tex_fail_silent = 0;   // result 0, nothing logged
constexpr tex_fail_mode tex_fail_scenery = 1;  // raises the scenery load-fail flag
constexpr tex_fail_mode tex_fail_plane = 2;    // raises the aircraft load-fail flag
constexpr tex_fail_mode tex_fail_instl = 3;    // raises the installer load-fail flag
constexpr tex_fail_mode tex_fail_fatal = 4;    // ends the program

// When a record is (to be) loaded.
using tex_load_time = int;
constexpr tex_load_time tex_loaded = 100;    // loaded now (also after borrowing the blank)
constexpr tex_load_time tex_deferred = 101;  // left to the scenery pass
constexpr tex_load_time tex_uninited = 102;  // a free record

// Fixed refs the installer uses.
constexpr int t_interface = 392;   // interface atlas; also the fonts of charsets 100 and 102
constexpr int t_elements = 393;    // elements atlas
constexpr int t_world_map = 394;   // world-map atlas
constexpr int t_background = 395;  // wizard background
constexpr int t_menu_font = 396;   // menu font (never loaded here)
constexpr int t_preview = 408;     // file-preview image
constexpr int t_movie = 409;       // movie scratch texture
constexpr int t_blank_gray = 930;  // what a missing texture borrows
constexpr int tman_first_named_ref = 1135;

// Completes the scenery pass's job in flight; no such object exists in this program.
struct tex_load_vars;
class tman_force_finish_obj {
public:
	virtual void finish_now() = 0;

protected:
	~tman_force_finish_obj() = default;
};

// The name-to-ref hash: h = 5h + c over the name's signed characters.
struct tex_name_hash {
	std::size_t operator()(const std::string& s) const
	{
		std::size_t h = 0;
		for (char c : s) h = 5 * h + static_cast<std::size_t>(static_cast<signed char>(c));
		return h;
	}
};

class tman_class {
public:
	struct ref_dat_struct {
		std::string name = "un-inited";
		int tex_id = 0;
		float img_dx = 0, img_dy = 0;
		float tex_dx = 0, tex_dy = 0;
		int vram = 0;
		unsigned int gl_format = 0;  // 0 marks a free record
		tex_load_time load_time = tex_uninited;
		int flags = 0;
		tex_fail_mode fail_mode = tex_fail_fatal;
		int ref_count = -1;  // -1 fixed or free; references of a named ref
	};

	// Inline, so that holding the global does not by itself pull the loading code into a
	// program: test programs that stand in for the manager's operations link without it.
	tman_class()
		: async_cursor(0), loaded_texes(0), total_texes(0), scene_load_fail(0), plane_load_fail(0),
		  instl_load_fail(0), async_job(nullptr), async_io_result(0), force_finish(nullptr)
	{
	}
	tman_class(const tman_class&) = delete;
	tman_class& operator=(const tman_class&) = delete;

	int load_texture(tex_fail_mode fail_mode, int manual_ref, int flags, tex_load_time load_time,
	                 const std::string& name);
	void bind_ref(int ref, int unit, int mode);
	void release_texture(int ref);
	void unload_texture(int ref);
	void purge_unused_texes();
	void unload_texture_internal(int ref, int unused);
	int tot_vram();

	bool has_scene_load_fail() { return scene_load_fail == 1; }
	bool has_plane_load_fail() { return plane_load_fail == 1; }
	bool has_instl_load_fail() { return instl_load_fail == 1; }
	void reset_scene_load_fail() { scene_load_fail = 0; }
	void reset_plane_load_fail() { plane_load_fail = 0; }
	void reset_instl_load_fail() { instl_load_fail = 0; }
	void mute_scene_load_fail() { scene_load_fail = 2; }
	void mute_plane_load_fail() { plane_load_fail = 2; }
	void mute_instl_load_fail() { instl_load_fail = 2; }

	float scale_rat();
	void reset_bind();
	void set_blend_level(int unit, float level);

	int num_remaining_async_texes();
	int load_scenery_async_register(tman_force_finish_obj* obj);
	int load_scenery_async_work();
	int load_scenery_async_finalize();
	void load_all_scenery_texes();
	void force_load_tex(int ref);

	int load_texture_int(tex_fail_mode fail_mode, int ref, int flags, const std::string& name, int load_now);
	int load_texture_io(tex_load_vars* job);
	int load_texture_ogl(tex_load_vars* job, int source);

	// The counters are read directly: their accessors would share the fields' names.
	int async_cursor;  // lowest ref the scenery pass still has to look at
	int loaded_texes;  // records holding an upload of their own
	int total_texes;   // claimed records
	std::vector<ref_dat_struct> ref_dat;
	// Load-failure flags: 0 none, 1 a texture was missing and nobody was told, 2 muted.
	int scene_load_fail;
	int plane_load_fail;
	int instl_load_fail;
	tex_load_vars* async_job;
	int async_io_result;
	tman_force_finish_obj* force_finish;
	std::recursive_mutex lock;
};

extern tman_class tman;

// The start-up progress line ("Loading bitmap ..."): drawn by the shell, which installs
// this hook once its progress screen exists. The default shows nothing. A null fraction
// advances the screen's own counter. Returns the hook installed before.
using tman_progress_fn = void (*)(const std::string& message, float* fraction);
tman_progress_fn tman_set_progress_hook(tman_progress_fn f);
void tman_show_progress(const std::string& message, float* fraction);

// One load job of the pipeline.
struct tex_load_vars {
	tex_fail_mode fail_mode = tex_fail_silent;
	int ref = 0;
	int flags = 0;
	int load_now = 0;
	unsigned int gl_format = 0;
	int has_mips = 0;
	char bytes_pp = 0;
	int match_file_alpha = 0;
	int img_dx = 0, img_dy = 0;
	int tex_dx = 0, tex_dy = 0;
	std::string name;
	unsigned char* pixels = nullptr;
};
extern tex_load_vars async_vars;

// Load flags.
constexpr int tex_flag_colour_mask = 0x0007;
constexpr int tex_flag_mipmaps = 0x0008;
constexpr int tex_flag_clamp_st = 0x0010;
constexpr int tex_flag_clamp_s = 0x0020;
constexpr int tex_flag_finer = 0x0040;
constexpr int tex_flag_coarser = 0x0080;
constexpr int tex_flag_full_res = 0x0100;
constexpr int tex_flag_into_scratch = 0x0200;
constexpr int tex_flag_builtin = 0x0400;
constexpr int tex_flag_half_float = 0x0800;
constexpr int tex_flag_sized8 = 0x1000;
constexpr int tex_flag_no_pow2 = 0x2000;
constexpr int tex_flag_max = 0x3FFF;
// Colour enums of the flags word.
constexpr int tex_col_rgb = 1;
constexpr int tex_col_rgba = 2;
constexpr int tex_col_alpha = 3;
constexpr int tex_col_rgb_file = 4;   // RGB, RGBA when the file has alpha
constexpr int tex_col_rgba_file = 5;  // RGBA, RGB when the file has none
constexpr int tex_col_depth = 6;
constexpr int tex_col_rgb7 = 7;       // treated as RGB

int load_any_into_scratch(std::string name, int unused, int flags, int& gl_format, int& has_mips, char& bytes_pp,
                          int match_file_alpha, int* img_dx, int* img_dy, int* tex_dx, int* tex_dy);
float TEX_get_scale(std::string name, int unused, int flags, int width, int height, int* img_dx, int* img_dy,
                    int* tex_dx, int* tex_dy, int force);
void check_dxy(int size, std::string name);
// Uploads the four built-in atlases (refs 392..395) and takes the interface colours from
// the interface atlas's legend.
void TEX_load_builtin_textures();
extern std::unordered_map<std::string, int, tex_name_hash> tex_hash;
extern int maxtexdim;

// The shared scratch image: callers fill it and upload it under a name beginning
// "scratch_array". Start-up points scratch_array at the first 16-byte boundary of
// scratch_array_storage; file loads decode into scratch_array_temp.
constexpr int scratch_bytes = 2048 * 2048 * 4 + 16;
extern unsigned char* scratch_array;
extern int scratch_dx;
extern int scratch_dy;
extern unsigned char scratch_array_storage[scratch_bytes];
extern unsigned char scratch_array_temp[scratch_bytes];
// scratch_array, pointed at its 16-byte boundary first if start-up has not done so yet.
unsigned char* tman_scratch();

// --- Image files and texture units, as the drawing layer calls them. ---
#include "graphics/TEX_png.h"
#include "graphics/TEX_utils.h"
