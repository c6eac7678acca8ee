#pragma once
// Start-up and finish-up: DIDIVI_init brings the framework up in one fixed order before
// main's frame loop; the finish-up undoes what start-up set up at the machine level.
#include <ostream>
#include <string>

#include "runtime/hl_globals.h"  // randrat, filled here

constexpr int lookup_degrees = 361;

extern float lookup_sin[lookup_degrees];
extern float lookup_cos[lookup_degrees];
extern int g_mon_x_res_now;
extern int g_mon_y_res_now;
extern int plot_init_lights;  // 0 until the first window start; the progress screen waits for it
extern int ogl_inited;        // window, context, textures and first window exist

void DIDIVI_init(int argc, const char* const* argv);
// The finish-up start-up installs behind DIDIVI_finishup.
void DIDIVI_shell_finishup(int save);
void DIDIVI_setres(int on);
int DIDIVI_make_context(int slot);
void DIDIVI_nuke_context(int slot);
// Worker contexts sharing the main one: never made in this program (no threaded OpenGL).
void* DIDIVI_make_context_loader();
int DIDIVI_set_context_loader(void* context);
void DIDIVI_set_app_path(std::string* path, int mode);
void DIDIVI_show_init(const std::string& message, float* fraction);
void DIDIVI_setupforlang();
void IBM_turnoff();

// ---- Decisions start-up takes, as pure functions.

// The name the log gives a processor type value (" (X86) " for 'ixxx').
std::string DIDIVI_cpu_name(unsigned int cpu_type);
// The processor type this machine reports: 'ixxx'.
unsigned int DIDIVI_cpu_type();
// Writes the log header.
void DIDIVI_write_log_header(std::ostream& out);
// Whether start-up would switch the display depth on a screen of this size.
int DIDIVI_setres_switch(int screen_w, int screen_h, int set_res);
// Whether a window of this size fits the screen with 20 pixels to spare.
int DIDIVI_window_fits(int x_res, int y_res, int screen_w, int screen_h);
// The translation file of a language index ("" for English, which reads none).
std::string DIDIVI_lang_path(int lang);
// The progress fraction drawn for a given one, or for the call counter when null.
float DIDIVI_show_init_fraction(const float* fraction, int& counter);

// The pixel-format levels and depth sizes tried, best first.
constexpr int max_alias_level = 4;
extern const int kDepthSizes[3];
extern const int kAliasSamples[max_alias_level + 1];

// Tests run start-up more than once in one process.
void DIDIVI_reset_init_state();
