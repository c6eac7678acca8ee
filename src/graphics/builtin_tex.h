#pragma once
// The built-in interface atlases: constant pixel arrays, rows bottom to top, that
// start-up uploads into fixed texture refs. The build embeds them from the committed
// PNG artwork (assets/builtin), so they carry C names.

extern "C" {
extern const unsigned char g_tex_background[800 * 600 * 3];  // RGB, ref 395
extern const unsigned char g_tex_elements[1024 * 70 * 4];    // RGBA, ref 393
extern const unsigned char g_tex_map[504 * 504 * 4];         // RGBA, ref 394
extern const unsigned char g_tex_interface[512 * 512 * 4];   // RGBA, ref 392
}
