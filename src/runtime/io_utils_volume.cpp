// Volumes and starting another program.
#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "platform/plat_dirs.h"
#include "platform/plat_fs.h"
#include "platform/plat_proc.h"
#include "platform/plat_volume.h"
#include "runtime/hl_alert.h"
#include "runtime/hl_dialogs.h"
#include "runtime/hl_globals.h"
#include "runtime/io_utils.h"

namespace {
std::atomic<launch_exit_fn> g_launch_exit{nullptr};

// What the disc test prints when it cannot tell, by the step that stopped it.
constexpr int kNoSuchVolume = -35;
const char* const kNoVolumeParams = "PBHGetVolParmsSync returned %d\n";
struct disc_diagnostic_row {
	plat_disc_step step;
	const char* text;  // a printf format taking the step's code, where it has one
};
const disc_diagnostic_row kDiscDiagnostics[] = {
	{plat_disc_no_mount, kNoVolumeParams},
	{plat_disc_no_device, "Vol Params struct too old for BSD root node acess!"},
	{plat_disc_not_a_device, "IOBSDNameMatching returned a NULL dictionary."},
	{plat_disc_unlisted, "IOServiceGetMatchingService returned IO_OBJECT_NULL."},
	{plat_disc_no_parents, "IORegistryEntryCreateIterator returned 0x%08x\n"},
};

bool is_folder(const std::string& p)
{
	struct stat st;
	return stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}
}  // namespace

int get_free_space(const std::string& path, unsigned long long* total, unsigned long long* free_bytes)
{
	// The nearest existing folder: a folder yet to be made is measured on the volume
	// that will hold it.
	std::string p = path;
	size_t len = p.size();
	while (len > 0 && !is_folder(p.substr(0, len))) {
		if (len > 1 && p[len - 1] == '/') --len;
		const size_t slash = p.rfind('/', len - 1);
		len = slash == std::string::npos ? 0 : slash + 1;
	}
	unsigned long long t = 0, f = 0;
	if (int e = plat_volume_space(len > 0 ? p.substr(0, len) : std::string("."), &t, &f)) return e;
	if (total) *total = t;
	if (free_bytes) *free_bytes = f;
	return 0;
}

// The desktop's eject can take its time: the window is served meanwhile.
int eject_dvd(std::string path, plat_eject_report* report) { return plat_eject_volume(path, report, HL_tool_pump()); }

int APL_is_dvd_disk(short volume)
{
	const std::vector<plat_volume_root> roots = plat_volume_roots();
	if (volume < 0 || volume >= static_cast<int>(roots.size())) {
		std::printf(kNoVolumeParams, kNoSuchVolume);
		return 0;
	}
	const plat_disc_answer a = plat_disc_of(roots[static_cast<size_t>(volume)].root);
	for (const disc_diagnostic_row& d : kDiscDiagnostics)
		if (d.step == a.step) std::printf(d.text, a.code);
	return a.step == plat_disc_yes ? 1 : 0;
}

launch_exit_fn launch_app_set_exit(launch_exit_fn f) { return g_launch_exit.exchange(f); }

int launch_app(const std::string& app, const std::string& arg)
{
	std::string path = app;
	if (!path.empty() && path.back() == '/') path.pop_back();
	// A bundle runs the program inside it, by the same rule that finds our own bundle.
	path = plat_bundle_executable(app_path + path);
	xer << "Launching: " << path << " with " << arg << "\n";

	std::vector<std::string> args{path};
	if (!arg.empty()) {
		args.push_back("-path");
		args.push_back(arg);
	}
	int child = 0;
	if (int e = plat_exec_child(path, args, &child)) return e;
	// The new program runs: this one saves its state and leaves the screen to it.
	DIDIVI_finishup(1);
	if (launch_exit_fn f = g_launch_exit.load()) f(1);
	std::exit(1);
}
