#pragma once
// Recording stand-ins for the texture manager and the widgets that the extras call, for
// the extras tests only. Each is a weak definition: once the real unit is linked into a
// test, its definition takes over. The drawing layer itself is the real one; its swaps
// are counted through its swap hook.
//
// With `gl_live` set (a test's GL context is current) the texture stand-ins upload and
// bind real GL textures under the ref's own name, as the texture manager does; without
// it they only record.
#include <string>
#include <vector>

namespace kx_doubles {

struct calls {
	bool gl_live = false;
	int swaps = 0;       // OGL_sbuff calls, through the swap hook
	int text_binds = 0;  // binds of the interface atlas: text drawn
	int reset_binds = 0;
	int tex_loads = 0;
	int tex_unloads = 0;
	std::vector<std::string> widgets;  // widget calls, "name x y"
	std::vector<int> load_flags;       // flags of each texture load
};

extern calls rec;
// Forgets every recorded call (gl_live and the buffer caches included).
void reset();

}  // namespace kx_doubles
