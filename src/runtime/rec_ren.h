#pragma once
// The renderer record `ren`: the renderer's strings and limits, read once at start-up
// by the capability detection before any worker starts, plus the night-mode flag and
// the global alpha that the drawing layer applies to everything it draws.
#include <vector>

struct ren_struct {
	float max_aniso;   // 1.0 unless anisotropic filtering is available
	int tex_units;     // texture units, at least 1 once detected
	int image_units;   // texture image units (with fragment programs)
	int tex_coords;    // texture coordinate sets (with vertex programs)
	// The strings exactly as the OpenGL driver returned them (not copied).
	const char* gl_vendor;
	const char* gl_renderer;
	const char* gl_version;
	const char* gl_extensions;
	// Kept for the simulator's renderer; the installer leaves them empty.
	std::vector<int> sim_list_a;
	std::vector<int> sim_list_b;
	int night_mode;       // non-zero shows every palette colour in green only
	float global_alpha;   // multiplied into the alpha of everything drawn

	ren_struct()
		: max_aniso(0), tex_units(0), image_units(0), tex_coords(0), gl_vendor(nullptr), gl_renderer(nullptr),
		  gl_version(nullptr), gl_extensions(nullptr), night_mode(0), global_alpha(1.0f)
	{
	}
};

extern ren_struct ren;
