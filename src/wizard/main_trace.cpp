#include "wizard/main_trace.h"

#include <cmath>
#include <cstdio>

#include "runtime/hl_trace.h"
#include "wizard/main_screens.h"
#include "wizard/main_web.h"

namespace {
#define KX_SCREEN(f) {f, #f}
const std::vector<std::pair<screen_fn, const char*>> kScreenNames = {
    KX_SCREEN(wizard_quit),
    KX_SCREEN(dvd_start),
    KX_SCREEN(dvd_pick_install),
    KX_SCREEN(dvd_eula_install),
    KX_SCREEN(dvd_scenery_install),
    KX_SCREEN(dvd_run_install),
    KX_SCREEN(dvd_done_install),
    KX_SCREEN(dvd_do_run_sim),
    KX_SCREEN(dvd_pick_run_sim),
    KX_SCREEN(dvd_pick_repair),
    KX_SCREEN(dvd_scan_repair),
    KX_SCREEN(dvd_confirm_repair),
    KX_SCREEN(dvd_install_repair),
    KX_SCREEN(dvd_done_repair),
    KX_SCREEN(dvd_pick_scenery),
    KX_SCREEN(dvd_scan_scenery),
    KX_SCREEN(dvd_edit_scenery),
    KX_SCREEN(dvd_install_scenery),
    KX_SCREEN(dvd_done_scenery),
    KX_SCREEN(dvd_verify_disk_install),
    KX_SCREEN(dvd_switch_disk_install),
    KX_SCREEN(dvd_verify_disk_repair),
    KX_SCREEN(dvd_switch_disk_repair),
    KX_SCREEN(dvd_verify_disk_scenery),
    KX_SCREEN(dvd_switch_disk_scenery),
    KX_SCREEN(net_start),
    KX_SCREEN(net_pick_dest),
    KX_SCREEN(net_get_updates),
    KX_SCREEN(net_check_disk),
    KX_SCREEN(net_run_patch),
    KX_SCREEN(net_done),
    KX_SCREEN(demo_start),
    KX_SCREEN(demo_eula),
    KX_SCREEN(demo_get_updates),
    KX_SCREEN(demo_pick_dest),
    KX_SCREEN(demo_run_patch),
    KX_SCREEN(demo_done),
};
#undef KX_SCREEN

constexpr char kUnnamed[] = "?";
std::string g_last_fields;
bool g_have_last = false;
unsigned g_modals_at_last = 0;
std::string g_last_sizes;

std::string name_json(screen_fn f)
{
	if (!f) return "null";
	const char* n = wizard_screen_name(f);
	return UTL_trace_json(n ? n : kUnnamed);
}

std::string progress_json(float p)
{
	// JSON has no NaN or infinity: a bar that cannot be drawn is written as none.
	if (!std::isfinite(p)) p = -1.0f;
	char buf[32];
	std::snprintf(buf, sizeof buf, "%.4g", static_cast<double>(p));
	return buf;
}
}  // namespace

const char* wizard_screen_name(screen_fn f)
{
	for (const auto& [fn, name] : kScreenNames)
		if (fn == f) return name;
	return nullptr;
}

const std::vector<std::pair<screen_fn, const char*>>& wizard_screen_names() { return kScreenNames; }

std::string wizard_trace_fields(int window, screen_fn current, const wizard_screen& s)
{
	return ", \"window\": " + std::to_string(window) + ", \"screen\": " + name_json(current) +
	       ", \"title\": " + UTL_trace_json(s.title) + ", \"text\": " + UTL_trace_json(s.text) +
	       ", \"back\": " + name_json(s.back_screen) + ", \"next\": " + name_json(s.next_screen) +
	       ", \"choices\": " + UTL_trace_json(s.choice_labels) + ", \"progress\": " + progress_json(s.progress) +
	       ", \"progress_text\": " + UTL_trace_json(s.progress_text);
}

void wizard_trace_screen(int window, screen_fn current, const wizard_screen& s)
{
	if (!UTL_trace_on()) return;
	std::string fields = wizard_trace_fields(window, current, s);
	// After a modal box the window is ours again: the same fields are news then.
	const unsigned modals = UTL_trace_modal_count();
	if (g_have_last && fields == g_last_fields && modals == g_modals_at_last) return;
	UTL_trace_write(fields);
	g_last_fields = std::move(fields);
	g_have_last = true;
	g_modals_at_last = modals;
}

void wizard_trace_sizes(const std::string& block)
{
	if (!UTL_trace_on() || block == g_last_sizes) return;
	g_last_sizes = block;
	UTL_trace_write(", \"sizes\": " + UTL_trace_json(block));
}

void wizard_trace_reset()
{
	g_last_fields.clear();
	g_have_last = false;
	g_last_sizes.clear();
}
