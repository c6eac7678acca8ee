// Start-up and finish-up, the display, the window with its OpenGL context, the progress
// screen and the language.
#include "shell/hl_init.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <sstream>
#include <vector>

#include "graphics/builtin_tex.h"
#include "graphics/colr.h"
#include "graphics/ogl_draw.h"
#include "graphics/oglp.h"
#include "graphics/tman.h"
#include "platform/plat_clock.h"
#include "platform/plat_dirs.h"
#include "platform/plat_sysinfo.h"
#include "platform/plat_window.h"
#include "runtime/cmdline.h"
#include "runtime/hl_alert.h"
#include "runtime/hl_debug.h"
#include "runtime/hl_dialogs.h"
#include "runtime/hl_exception.h"
#include "runtime/hl_globals.h"
#include "runtime/hl_math_ui.h"
#include "runtime/io_utils.h"
#include "runtime/pref.h"
#include "runtime/rec_glext.h"
#include "runtime/translate.h"
#include "runtime/xtim.h"
#include "shell/cmnd.h"
#include "shell/hl_alerts.h"
#include "shell/hl_mnw.h"
#include "shell/keys.h"
#include "shell/menus.h"
#include "runtime/hl_product.h"
#include "widgets/btn.h"

float lookup_sin[lookup_degrees];
float lookup_cos[lookup_degrees];
int g_mon_x_res_now = 0;
int g_mon_y_res_now = 0;
int plot_init_lights = 0;
int ogl_inited = 0;

const int kDepthSizes[3] = {32, 24, 16};
const int kAliasSamples[max_alias_level + 1] = {0, 2, 4, 8, 16};

namespace {

const char* const kSource = "hl_init";
const char* const kWindowTitle = "Kestrix DVD Installer";
const char* const kLogName = "Kestrix Installer Log.txt";

// The log header's fixed lines.
const char* const kHeaderLines[] = {
	"Installer log.txt for Kestrix DVD Installer 2.01r1",
	" compiled on Apr  9 2008 09:22:00\n\n",
	"This log file is generated automatically by Corvane Labs applications and contains diagnostics about your "
	"graphics hardware, installation, and any error conditions.\n",
	"If you need to contact tech support or file a bug, please send us this file. NOTE: this file is rewritten every "
	"time you start ANY of your Orvala applications.\n\n",
};
const char* const kUnknown = "?";

constexpr unsigned int fourcc(const char (&s)[5])
{
	return (unsigned(static_cast<unsigned char>(s[0])) << 24) | (unsigned(static_cast<unsigned char>(s[1])) << 16) |
	       (unsigned(static_cast<unsigned char>(s[2])) << 8) | unsigned(static_cast<unsigned char>(s[3]));
}

struct cpu_row {
	unsigned int value;
	const char* name;
};
const cpu_row kCpuNames[] = {
	{264, " (G3) "},
	{268, " (G4) "},
	{272, " (G4/7450) "},
	{273, " (G4/7455) "},
	{274, " (G4/7447) "},
	{288, " (G3/750FX) "},
	{313, " (G5) "},
	{316, " (G5/FX) "},
	{fourcc("i486"), " (i486) "},
	{fourcc("i586"), " (Pentium) "},
	{fourcc("i5pr"), " (Pentium Pro) "},
	{fourcc("i5ii"), " (Pentium II) "},
	{fourcc("ixxx"), " (X86) "},
	{fourcc("i5iv"), " (Pentium 4) "},
};
const char* const kUnknownIntel = " (unknown intel) ";
const char* const kUnknownPowerPC = " (unknown PowerPC) ";

// The lines of the start-up failure.
const char* const kNoGraphics[] = {
	"I could not set up the graphics for Kestrix! I hope your monitor is at 1024x768 or higher! It must be!",
	"You do not meet the system requirements or you do not have OpenGL drivers or you entered a bad resolution in "
	"Kestrix!",
	"You need at least 256 meg of RAM, 16 meg of VRAM, and OpenGl drivers for your 3-D accelerator card!",
	"If you reset the resolution, you can try launching Kestrix again, since I am resetting Kestrix to default "
	"resolution now.",
};
constexpr int kNoGraphicsLine = 1574;
constexpr int kNoFrameworkLine = 725;
constexpr int kChooserLine = 1664;

// Window defaults.
constexpr int kDefaultWidth = 800;
constexpr int kDefaultHeight = 600;
constexpr int kFullTexRes = 5;
constexpr int kDefaultDepth = 32;
constexpr int kMinScreenW = 1024;
constexpr int kMinScreenH = 768;
constexpr int kFitSpare = 20;
constexpr int kFittingWindowTop = 40;
constexpr int kFullWindSpareW = 40;
constexpr int kFullWindSpareH = 60;

constexpr std::uintptr_t kScratchAlign = 16;

// Random table.
constexpr double kRandScale = 1.0 / 2147483648.0;  // 2^-31
constexpr double kRandShrink = 0.9999;
constexpr unsigned kRandDiscardModulo = 1000;

// Pixel-format report.
struct agl_row {
	plat_gl_attr attr;
	const char* label;
};
const agl_row kAglLabels[] = {
	{plat_gl_rgba, "AGL_RGBA         : "},       {plat_gl_doublebuffer, "AGL_DOUBLEBUFFER : "},
	{plat_gl_red_size, "AGL_RED_SIZE     : "},   {plat_gl_green_size, "AGL_GREEN_SIZE   : "},
	{plat_gl_blue_size, "AGL_BLUE_SIZE    : "},  {plat_gl_alpha_size, "AGL_ALPHA_SIZE   : "},
	{plat_gl_depth_size, "AGL_DEPTH_SIZE   : "},
};

// Languages.
const char* const kLangFolders[] = {"text/english/", "text/french/",   "text/german/", "text/italian/",
                                    "text/spanish/", "text/portugese/", "text/korean/"};
const char* const kResources = "Resources/";
const char* const kTranslationFile = "Installer.txt";
const char* const kTranslationMark = "2";
constexpr std::size_t kExtensionLength = 4;
constexpr int kEnglish = 0;

// Progress screen.
constexpr float kProgressPanelX = 10, kProgressPanelY = 31, kProgressPanelW = 460, kProgressPanelH = 200;
constexpr int kProgressPanelStyle = 15;
constexpr int kProgressTroughStyle = 4;
constexpr int kProgressFillStyle = 5;
constexpr float kProgressAddressX = 22, kProgressAddressY = 210, kProgressWrap = 440;
constexpr float kProgressMessageY = 60;
constexpr float kProgressBarLeft = 8, kProgressBarWidth = 1008, kProgressBarY = 15;
constexpr int kProgressAddressColour = 49;
constexpr int kProgressMessageColour = 61;
constexpr float kProgressMin = 0.02f, kProgressMax = 1.0f;
constexpr float kProgressPerCall = 100.0f;

// The pulsing palette entries: red, green and blue as factors of the pulse.
struct pulse_row {
	int entry;
	float r, g, b;
};
const pulse_row kPulse[] = {
	{79, 1.0f, 1.0f, 1.0f}, {80, 1.0f, 0.5f, 0.0f}, {81, 1.0f, 0.3f, 0.3f},
	{82, 0.3f, 0.3f, 1.0f}, {83, 0.2f, 0.8f, 0.2f}, {84, 0.7f, 0.7f, 0.2f},
};

int g_setres_first = 1;
int g_setres_switch = 0;
int g_setres_depth = 0;
int g_show_init_counter = 0;

void swap_main_window() { plat_window().swap(); }

int window_key_layout(int mac_key) { return plat_window().key_layout(mac_key); }

void list_commands(const std::string& prefix, std::vector<std::string>& names)
{
	cmnd.get_cmds_in_path(prefix, names);
}

// While a system chooser is open the window keeps answering the desktop; what the user
// does to it meanwhile is dropped, not acted on once the chooser has gone.
void serve_window_under_dialog() { plat_window().flush_events(); }

// While the desktop's eject is waited for, nothing of ours is on screen to explain a
// click, so clicks and keys are dropped; a request to quit stays for the frame loop.
void serve_window_under_tool() { plat_window().drop_input_events(); }

void pulse_palette(float p)
{
	for (const auto& r : kPulse) colr.assign(r.entry, r.r * p, r.g * p, r.b * p);
	colr.pulse = p;
}

// What the lower libraries call upwards, handed to them before anything can call it.
void install_hooks()
{
	DIDIVI_set_finishup(DIDIVI_shell_finishup);
	DIDIVI_set_alert_presenter(DIDIVI_shell_alert_presenter);
	cmnd_install_cmdline_source();
	opensave_set_cmd_lister(list_commands);
	xtim_set_pulse_hook(pulse_palette);
	xtim_set_unfocus_hook(BTN_unfocus_any);
	keys_set_layout_hook(window_key_layout);
	HL_set_dialog_pump(serve_window_under_dialog);
	HL_set_dialog_drop_input(serve_window_under_dialog);
	HL_set_tool_pump(serve_window_under_tool);
}

void fill_tables()
{
	std::srand(1);
	for (float& r : randrat) r = float(std::rand() * kRandScale * kRandShrink);
	// A clock that counts from boot: one that counts from its own first reading gives
	// about the same seed at every start, and with it the same server order.
	const auto seed = static_cast<uint32_t>(PLAT_microseconds());
	std::srand(seed);
	for (unsigned i = 0; i < seed % kRandDiscardModulo; ++i) std::rand();
	for (int d = 0; d < lookup_degrees; ++d) {
		lookup_sin[d] = std::sin(d * degtorad);
		lookup_cos[d] = std::cos(d * degtorad);
	}
}

}  // namespace

std::string DIDIVI_cpu_name(unsigned int value)
{
	for (const auto& r : kCpuNames)
		if (r.value == value) return r.name;
	bool printable = true;
	for (int shift = 24; shift >= 0; shift -= 8) {
		const unsigned c = (value >> shift) & 0xFF;
		if (c < ' ' || c > '~') printable = false;
	}
	if (printable) {
		std::string s = " (";
		for (int shift = 24; shift >= 0; shift -= 8) s += char((value >> shift) & 0xFF);
		return s + ") ";
	}
	return ((value >> 24) & 0xFF) == 'i' ? kUnknownIntel : kUnknownPowerPC;
}

unsigned int DIDIVI_cpu_type() { return fourcc("ixxx"); }

void DIDIVI_write_log_header(std::ostream& out)
{
	for (const char* line : kHeaderLines) out << line;
	out << "Linux " << plat_os_release() << "\n";
	const unsigned cpu = DIDIVI_cpu_type();
	out << "CPU type: " << cpu << DIDIVI_cpu_name(cpu);
	const int mhz = plat_cpu_mhz();
	out << "CPU speed (mhz): ";
	if (mhz > 0) out << mhz; else out << kUnknown;
	out << " " << "Bus speed (mhz): " << kUnknown << " " << "RAM (MB): ";
	const long ram = plat_ram_mb();
	if (ram > 0) out << ram; else out << kUnknown;
	out << "\n";
	out << "\nOrvala folder:'" << xer_escaped(app_path) << "', case sensitive=" << g_case_sensitive << "\n\n";
}

int DIDIVI_setres_switch(int screen_w, int screen_h, int set_res)
{
	return (screen_w < kMinScreenW || screen_h < kMinScreenH) ? 1 : set_res;
}

int DIDIVI_window_fits(int x_res, int y_res, int screen_w, int screen_h)
{
	return x_res + kFitSpare < screen_w && y_res + kFitSpare < screen_h;
}

std::string DIDIVI_lang_path(int lang)
{
	if (lang == kEnglish) return "";
	std::string p = std::string(kResources);
	if (lang >= 0 && lang < int(std::size(kLangFolders))) p += kLangFolders[lang];
	p += kTranslationFile;
	p.insert(p.size() - kExtensionLength, kTranslationMark);
	return p;
}

float DIDIVI_show_init_fraction(const float* fraction, int& counter)
{
	float f;
	if (fraction) {
		f = *fraction;
	} else {
		f = counter / kProgressPerCall;
		++counter;
	}
	return std::clamp(f, kProgressMin, kProgressMax);
}

void DIDIVI_reset_init_state()
{
	g_setres_first = 1;
	g_setres_switch = 0;
	g_setres_depth = 0;
	g_show_init_counter = 0;
	plot_init_lights = 0;
	ogl_inited = 0;
	DIDIVI_reset_frame_loop();
	DIDIVI_reset_alerts();
}

void DIDIVI_set_app_path(std::string* path, int mode)
{
	std::string exe;
	if (plat_exe_path(exe) != 0) return;
	const std::string bundle = plat_bundle_of(exe);
	if (mode == 1) {
		*path = bundle;
		return;
	}
	*path = bundle.substr(0, bundle.rfind('/') + 1);
}

void DIDIVI_setres(int on)
{
	mnw.x_res_now = mnw.x_res_req;
	mnw.y_res_now = mnw.y_res_req;
	mnw.col_res_now = mnw.col_res_req;
	int w = 0, h = 0, depth = 0;
	if (!plat_window().screen_size(w, h, depth)) w = h = depth = 0;
	g_mon_x_res_now = w;
	g_mon_y_res_now = h;
	if (mnw.full_wind) {
		mnw.x_res_req = mnw.x_res_now = w - kFullWindSpareW;
		mnw.y_res_req = mnw.y_res_now = h - kFullWindSpareH;
	}
	const int sw = DIDIVI_setres_switch(w, h, mnw.set_res);
	if (g_setres_first) {
		g_setres_first = 0;
		g_setres_switch = sw;
		g_setres_depth = depth;
	}
	// A desktop of today runs at one depth; the decision is kept, and the switch it
	// would make is left out: no display depth is ever changed here.
	(void)on;
}

int DIDIVI_make_context(int slot)
{
	int left = 0;
	if (slot == 1) {
		OGL_setstate(fog_fals, 0, lit_fals, al_none, deR_fals, deW_fals);
		left = mnw.x_res_now;
	}
	const bool fits = DIDIVI_window_fits(mnw.x_res_now, mnw.y_res_now, g_mon_x_res_now, g_mon_y_res_now);
	plat_window_spec spec;
	spec.title = kWindowTitle;
	spec.left = left;
	spec.top = fits ? kFittingWindowTop : 0;
	spec.width = mnw.x_res_now;
	spec.height = mnw.y_res_now;
	spec.decorated = fits;
	plat_window_backend& win = plat_window();
	bool open = false;
	int level = std::clamp(mnw.alias_req, 0, max_alias_level);
	for (; level >= 0 && !open; --level) {
		// Depth 32 alone fails on common visuals: each level tries 32, 24, then 16.
		for (int depth : kDepthSizes) {
			spec.samples = kAliasSamples[level];
			spec.depth_bits = depth;
			if ((open = win.open_window(spec))) break;
		}
		if (open) break;
	}
	if (!open) return 0;
	mnw.alias_now = level;
	mnw.wind[slot] = &win;
	for (const auto& a : kAglLabels) {
		int v = 0;
		if (win.gl_attribute(a.attr, v)) xer << a.label << v << "\n";
	}
	xer.flush();
	OGL_set_swap_hook(swap_main_window);
	if (int err = glExt.init_entry_points()) {
		__DIDIVI_alert(0, "Could not open OpenGL framework", "", "Error=" + std::to_string(double(err)), "", t_exit,
		               kSource, kNoFrameworkLine);
	}
	OGL_default_gl_state(mnw.alias_now);
	if (slot == 1) tman.reset_bind();
	return 1;
}

void DIDIVI_nuke_context(int slot)
{
	if (!mnw.wind[slot]) return;
	plat_window().close_window();
	mnw.wind[slot] = nullptr;
	OGL_set_swap_hook(nullptr);
}

void* DIDIVI_make_context_loader()
{
	// Worker threads never get a context of their own: threaded OpenGL is always off.
	if (!mnw.pix_fmt) return nullptr;
	xer << "We could not create a context for our worker threads.\n";
	return nullptr;
}

int DIDIVI_set_context_loader(void* context) { return context ? 1 : 0; }

void DIDIVI_show_init(const std::string& message, float* fraction)
{
	if (!plot_init_lights) return;
	const float x0 = mnw.area_x - mnw.dialog_x, dy = mnw.dialog_y;
	OGL_plot_back_col();
	BTN_frame2(kProgressPanelStyle, x0 + kProgressPanelX, kProgressPanelY - dy, kProgressPanelW, kProgressPanelH, "");
	OGL_string(kProgressAddressColour, x0 + kProgressAddressX, kProgressAddressY - dy, maker_web_address,
	           kProgressWrap, charset_UI_diff_space, 0);
	const float f = DIDIVI_show_init_fraction(fraction, g_show_init_counter);
	BTN_frame1(kProgressTroughStyle, x0 + kProgressBarLeft + kProgressBarWidth / 2, kProgressBarY - dy,
	           kProgressBarWidth, 0);
	BTN_frame1(kProgressFillStyle, x0 + kProgressBarLeft + f * kProgressBarWidth / 2, kProgressBarY - dy,
	           f * kProgressBarWidth, 0);
	OGL_string(kProgressMessageColour, x0 + kProgressAddressX, kProgressMessageY - dy, message, kProgressWrap,
	           charset_UI_diff_space, 0);
	OGL_sbuff();
}

void DIDIVI_setupforlang()
{
	if (mnw.lang == kEnglish) {
		UTL_translate_clear();
		return;
	}
	UTL_translate_load(DIDIVI_lang_path(mnw.lang));
}

void IBM_turnoff() {}

void DIDIVI_shell_finishup(int save)
{
	const bool main_thread = !THREAD_is_inited() || THREAD_is_main_thread();
	if (save) {
		if (!cmdline.has_option("--fps_test")) {
			pref.IO_set(11, 1);
			keys.keys_io(1);
		}
		THREAD_shutdown();
	}
	// The window and SDL belong to the main thread; a finish-up run elsewhere leaves them.
	if (main_thread) {
		DIDIVI_setres(0);
		if (mnw.two_wind) DIDIVI_nuke_context(1);
		DIDIVI_nuke_context(0);
	}
	xer.flush();
	xer.close();
	if (main_thread) plat_window().flush_events();
}

void DIDIVI_init(int argc, const char* const* argv)
{
	UTL_debug_init();
	install_hooks();
	plat_window().flush_events();

	DIDIVI_set_app_path(&app_path, 0);
	const std::string folder = app_path;
	app_path.clear();
	// A folder we cannot enter leaves the working folder as it was, silently.
	if (!folder.empty()) [[maybe_unused]] const int entered = chdir(folder.c_str());

	std::string desktop;
	if (get_OS_abs_path(os_dir_desktop, desktop) == 0) xer.open(desktop + kLogName);
	xer.setf(std::ios_base::fixed, std::ios_base::floatfield);

	const auto base = reinterpret_cast<std::uintptr_t>(scratch_array_storage);
	scratch_array = scratch_array_storage + ((kScratchAlign - base % kScratchAlign) % kScratchAlign);

	fill_tables();
	std::ostringstream header;
	DIDIVI_write_log_header(header);
	xer << xer_own(header.str()) << std::flush;

	cmdline.init_unix(argc, const_cast<const char**>(argv));
	THREAD_init();

	mnw.x_res_req = kDefaultWidth;
	mnw.y_res_req = kDefaultHeight;
	mnw.tex_res = kFullTexRes;
	mnw.col_res_req = kDefaultDepth;
	mnw.alias_req = 0;
	mnw.lang = -1;

	DIDIVI_setres(1);
	if (!DIDIVI_make_context(0))
		__DIDIVI_alert(0, kNoGraphics[0], kNoGraphics[1], kNoGraphics[2], kNoGraphics[3], t_exit, kSource,
		               kNoGraphicsLine);

	OGL_pix_specs(0);
	glExt.init_extensions();
	THREAD_make_workers();
	TEX_load_builtin_textures();

	DIDIVI_clear_menus(1);
	DIDIVI_startwind(-1, 0);
	OGL_pix_specs(0);
	ogl_inited = 1;

	if (mnw.lang < 0) {
		mnw.lang = kEnglish;
		__DIDIVI_alert(-1, "-", "-", "-", "-", t_lang, kSource, kChooserLine);
	}
	DIDIVI_setupforlang();
	DIDIVI_show_init("Will init plugins.", nullptr);
	DIDIVI_show_init("Starting application.", nullptr);
}
