#pragma once
// Recording stand-ins for the drawing layer, the texture manager and the widgets that
// the extras call, for the extras tests only. Each is a weak definition: once the real
// unit is linked into a test, its definition takes over.
//
// With `gl_live` set (a test's GL context is current) the texture stand-ins upload and
// bind real GL textures under the ref's own name, as the texture manager does; without
// it they only record.
#include <string>
#include <vector>

namespace kx_doubles {

struct calls {
	bool gl_live = false;
	int setstate = 0;
	int swaps = 0;
	int reset_binds = 0;
	int tex_loads = 0;
	int tex_unloads = 0;
	std::vector<std::string> strings;  // OGL_string texts in order
	std::vector<std::string> widgets;  // widget calls, "name x y"
	std::vector<int> load_flags;       // flags of each texture load
	unsigned long last_vbo = 0, last_vbo_ind = 0;
	int vbo_binds = 0, vbo_ind_binds = 0;
};

extern calls rec;
// Forgets every recorded call (gl_live and the buffer caches included).
void reset();

}  // namespace kx_doubles
