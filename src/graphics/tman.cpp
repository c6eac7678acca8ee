// The texture manager's table: claiming, sharing, releasing and freeing refs, binding
// them, and the deferred scenery pass. Loading itself is in tman_load.cpp.
#include "graphics/tman.h"

#include <GL/gl.h>

#include <algorithm>
#include <cstdio>

#include "graphics/TEX_utils.h"
#include "runtime/hl_alert.h"
#include "runtime/rec_mnw.h"
#include "runtime/xtim.h"

tex_load_vars async_vars;

namespace {

constexpr const char* kSource = "tman";
constexpr int kBadLoadTimeLine = 131;
constexpr int kBadManualRefLine = 134;
constexpr int kMissingHowLine = 425;
constexpr int kUnloadDynamicLine = 1224;
constexpr int kReleaseManualLine = 1264;
constexpr int kNeverReffedLine = 1265;
constexpr int kWentNegativeLine = 1267;
constexpr int kLastFixedRef = 1134;
constexpr float kProgressQuietSeconds = 1.0f;
constexpr int kScenerySteps = 40;  // progress line every this many scenery textures
constexpr const char* kScratchPrefix = "scratch_array";
constexpr std::size_t kScratchPrefixLen = 13;

// Fixed refs that are never announced on the progress screen.
bool quiet_ref(int r)
{
	return r == 0 || r == 312 || r == 392 || r == 396 || r == 930 || (r >= 427 && r <= 442);
}

std::string fmt(const char* f, double v)
{
	char b[64];
	std::snprintf(b, sizeof b, f, v);
	return b;
}

void no_progress(const std::string&, float*) {}
tman_progress_fn g_progress = no_progress;

// Drops a name from the hash only when it names this record: the built-in atlases share
// one name, and freeing one must not forget where the others are.
void hash_drop(const std::string& name, int ref)
{
	auto it = tex_hash.find(name);
	if (it != tex_hash.end() && it->second == ref) tex_hash.erase(it);
}

bool in_table(const tman_class& t, int ref) { return ref >= 0 && std::size_t(ref) < t.ref_dat.size(); }

}  // namespace

tman_progress_fn tman_set_progress_hook(tman_progress_fn f)
{
	tman_progress_fn old = g_progress;
	g_progress = f ? f : no_progress;
	return old == no_progress ? nullptr : old;
}

void tman_show_progress(const std::string& message, float* fraction) { g_progress(message, fraction); }

int tman_class::load_texture(tex_fail_mode fail_mode, int manual_ref, int flags, tex_load_time load_time,
                             const std::string& name)
{
	if (name.empty()) return 0;
	static double last_t = 0;
	const double now = xtim.microsecs() / 1e6;
	const double before = last_t;
	last_t = now;
	if (now > before + kProgressQuietSeconds && load_time == tex_loaded &&
	    name.compare(0, kScratchPrefixLen, kScratchPrefix) != 0 && !quiet_ref(manual_ref))
		tman_show_progress("Loading bitmap " + name + ".", nullptr);

	std::lock_guard<std::recursive_mutex> hold(lock);
	if (load_time < tex_loaded || load_time > tex_uninited)
		__DIDIVI_alert(0, "Trying to create an invalid texture load_time!", name, "value:", fmt("%1.0f", load_time),
		               t_exit, kSource, kBadLoadTimeLine);
	if (manual_ref < 0 || manual_ref > tman_first_named_ref) {
		__DIDIVI_alert(0, "Trying to bind too low or high a manual_ref!", name, "value:", fmt("%1.0f", manual_ref),
		               t_exit, kSource, kBadManualRefLine);
		return 0;
	}
	int slot = manual_ref;
	if (manual_ref == 0) {
		auto it = tex_hash.find(name);
		if (it != tex_hash.end()) {
			const int ref = it->second;
			ref_dat_struct& r = ref_dat[ref];
			++r.ref_count;
			if (r.load_time != tex_loaded) return load_texture_int(fail_mode, ref, flags, name, 0);
			return ref;
		}
		slot = 0;
		for (int i = int(ref_dat.size()) - 1; i >= tman_first_named_ref; --i)
			if (ref_dat[i].gl_format == 0) {
				slot = i;
				break;
			}
		if (!slot) slot = std::max<int>(int(ref_dat.size()), tman_first_named_ref);
	}
	if (std::size_t(slot) >= ref_dat.size()) ref_dat.resize(slot + 1);
	ref_dat_struct& r = ref_dat[slot];
	hash_drop(r.name, slot);
	tex_hash.emplace(name, slot);
	if (r.gl_format == 0) {
		r.name = name;
		r.load_time = tex_loaded;
		r.tex_id = 0;
		r.img_dx = r.img_dy = r.tex_dx = r.tex_dy = 0;
		r.ref_count = manual_ref == 0 ? 1 : -1;
		r.flags = flags;
		r.fail_mode = fail_mode;
		r.gl_format = GL_RGBA;
		r.vram = 0;
		++total_texes;
	}
	const int got = load_texture_int(fail_mode, slot, flags, name, 1);
	if (got == 0 && manual_ref != 0) return 0;
	return slot;
}

void tman_class::bind_ref(int ref, int unit, int mode)
{
	std::lock_guard<std::recursive_mutex> hold(lock);
	int tex = 0;
	if (!in_table(*this, ref)) {
		// A ref nobody loaded: refused before the table is read, drawn blank.
		if (ref != 0)
			__DIDIVI_alert(0, "missing non-scenery texture - how?", "", fmt("ref=%6.0f", ref), "", t_exit, kSource,
			               kMissingHowLine);
		TEX_bind_ref(ref == 0 ? 0 : t_blank_gray, unit, mode);
		return;
	}
	const ref_dat_struct& r = ref_dat[ref];
	tex = r.tex_id;
	if (ref != 0 && r.load_time != tex_loaded) {
		if (r.load_time != tex_deferred)
			__DIDIVI_alert(0, "missing non-scenery texture - how?", "", fmt("ref=%6.0f", ref), r.name, t_exit,
			               kSource, kMissingHowLine);
		tex = t_blank_gray;
	}
	TEX_bind_ref(tex, unit, mode);
}

void tman_class::release_texture(int ref)
{
	std::lock_guard<std::recursive_mutex> hold(lock);
	const std::string name = in_table(*this, ref) ? ref_dat[ref].name : "";
	if (ref <= kLastFixedRef) {
		__DIDIVI_alert(0, "Trying to release a manual texture - use unload_texture.", fmt("%f", ref), name, "", t_exit,
		               kSource, kReleaseManualLine);
		return;
	}
	if (!in_table(*this, ref) || ref_dat[ref].ref_count == -1) {
		__DIDIVI_alert(0, "Ref count is negative - was never reffed.", fmt("%f", ref), name, "", t_exit, kSource,
		               kNeverReffedLine);
		return;
	}
	ref_dat_struct& r = ref_dat[ref];
	if (--r.ref_count < 0) {
		__DIDIVI_alert(0, "Ref count went negative", fmt("%f", ref), name, "", t_exit, kSource, kWentNegativeLine);
		r.ref_count = 0;
	}
}

void tman_class::unload_texture(int ref)
{
	std::lock_guard<std::recursive_mutex> hold(lock);
	if (ref > kLastFixedRef || !in_table(*this, ref)) {
		__DIDIVI_alert(0, "Error: dynamic textures should be released, not unloaded.", fmt("%f", ref),
		               in_table(*this, ref) ? ref_dat[ref].name : "", "", t_exit, kSource, kUnloadDynamicLine);
		return;
	}
	unload_texture_internal(ref, 0);
}

void tman_class::purge_unused_texes()
{
	std::lock_guard<std::recursive_mutex> hold(lock);
	for (int r = tman_first_named_ref; r < int(ref_dat.size()); ++r)
		if (ref_dat[r].ref_count == 0) unload_texture_internal(r, 0);
}

void tman_class::unload_texture_internal(int ref, int)
{
	if (!in_table(*this, ref)) return;
	ref_dat_struct& r = ref_dat[ref];
	if (r.tex_id != 0 && r.tex_id != t_blank_gray) {
		const GLuint n = GLuint(r.tex_id);
		glDeleteTextures(1, &n);
		// The cache must not believe a deleted name is still bound.
		for (int u = 0; u < tex_unit_count; ++u)
			if (o_tex[u] == r.tex_id) o_tex[u] = -1;
	}
	if (r.load_time == tex_loaded && r.vram != 0) --loaded_texes;
	if (r.gl_format != 0) --total_texes;
	hash_drop(r.name, ref);
	r = ref_dat_struct{};
}

int tman_class::tot_vram()
{
	std::lock_guard<std::recursive_mutex> hold(lock);
	long long total = (long long)mnw.res_x * mnw.res_y * mnw.res_depth / 8;
	for (const ref_dat_struct& r : ref_dat) total += r.vram;
	return int(total);
}

float tman_class::scale_rat()
{
	switch (mnw.texture_res) {
	case 4: return 0.5f;
	case 3: return 0.25f;
	case 2: return 0.125f;
	case 1: return 0.0625f;
	case 0: return 0.03125f;
	default: return 1.0f;
	}
}

void tman_class::reset_bind() { TEX_reset_bind(); }

void tman_class::set_blend_level(int unit, float level) { TEX_set_blend_level(unit, level); }

int tman_class::num_remaining_async_texes()
{
	std::lock_guard<std::recursive_mutex> hold(lock);
	int n = 0;
	for (std::size_t r = std::size_t(std::max(async_cursor, 0)); r < ref_dat.size(); ++r)
		if (ref_dat[r].load_time == tex_deferred) ++n;
	return n;
}

int tman_class::load_scenery_async_register(tman_force_finish_obj* obj)
{
	std::lock_guard<std::recursive_mutex> hold(lock);
	for (std::size_t r = std::size_t(std::max(async_cursor, 0)); r < ref_dat.size(); ++r) {
		const ref_dat_struct& d = ref_dat[r];
		if (d.load_time != tex_deferred) continue;
		force_finish = obj;
		async_vars = tex_load_vars{};
		async_vars.fail_mode = d.fail_mode;
		async_vars.ref = int(r);
		async_vars.flags = d.flags;
		async_vars.name = d.name;
		async_vars.load_now = 0;
		async_job = &async_vars;
		return 1;
	}
	async_cursor = int(ref_dat.size());
	return 0;
}

int tman_class::load_scenery_async_work()
{
	if (!async_job) return 0;
	async_io_result = load_texture_io(async_job);
	return async_io_result;
}

int tman_class::load_scenery_async_finalize()
{
	std::lock_guard<std::recursive_mutex> hold(lock);
	if (!force_finish || !async_job) return 0;
	const int r = load_texture_ogl(async_job, async_io_result);
	force_finish = nullptr;
	async_job = nullptr;
	return r;
}

void tman_class::load_all_scenery_texes()
{
	std::unique_lock<std::recursive_mutex> hold(lock);
	int total = 0;
	for (const ref_dat_struct& r : ref_dat)
		if (r.load_time == tex_deferred) ++total;
	int done = 0;
	for (int r = 0; r < int(ref_dat.size()); ++r) {
		if (ref_dat[r].load_time != tex_deferred) continue;
		if (done % kScenerySteps == 0) {
			std::string n = ref_dat[r].name;
			const std::size_t slash = n.rfind('/');
			if (slash != std::string::npos) n = n.substr(slash + 1);
			float frac = total ? float(done) / float(total) : 0.0f;
			hold.unlock();
			tman_show_progress("Loading scenery texture " + n + ".", &frac);
			hold.lock();
		}
		++done;
		const ref_dat_struct d = ref_dat[r];
		load_texture_int(d.fail_mode, r, d.flags, d.name, 0);
	}
}

void tman_class::force_load_tex(int ref)
{
	std::lock_guard<std::recursive_mutex> hold(lock);
	if (!in_table(*this, ref)) return;
	const ref_dat_struct d = ref_dat[ref];
	if (d.load_time != tex_loaded) load_texture_int(d.fail_mode, ref, d.flags, d.name, 1);
}
