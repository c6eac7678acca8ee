#pragma once
// Shared set-up of the wizard's headless tests: a private folder with a media root that
// alone counts as mounted, a fake eject that logs and moves the DVD folder away, the
// wizard's and engine's globals at their start values, and small DVD makers.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "engine/engine.h"
#include "engine/engine_test_util.h"
#include "runtime/hl_globals.h"
#include "runtime/io_utils.h"
#include "runtime/io_utils_zip.h"
#include "support/test_env.h"
#include "runtime/xtim.h"
#include "wizard/main_globals.h"
#include "wizard/main_screens.h"
#include "wizard/main_trace.h"

namespace kx_wizard_test {

constexpr char kProduct[] = "Kestrix 9.10r1";

inline void reset_wizard_globals()
{
	kx_engine_test::reset_engine_globals();
	dvd_path.clear();
	install_name = no_install_name;
	temp_path.clear();
	current_disk = 0;
	want_file_disk = 0;
	all_orvalas.clear();
	step_names.clear();
	step_funcs.clear();
	cmd_line_path.clear();
	stg.server_count = -1;
	app_done = 0;
}

// Makes `copy` (its parents too) hold the folders every installed copy holds: only such a
// folder is taken as a copy.
inline void make_copy_folders(const std::string& copy)
{
	for (const char* f : {"Airfoils", "Instructions", "Output", "Resources"})
		std::filesystem::create_directories(copy + f);
}

// Every target a screen put into its record has a name in the trace's table.
inline void expect_named_targets(const wizard_screen& s)
{
	for (screen_fn f : {s.back_screen, s.next_screen}) {
		if (f) {
			EXPECT_NE(wizard_screen_name(f), nullptr) << "a screen target has no name";
		}
	}
	for (screen_fn f : s.choice_targets) EXPECT_NE(wizard_screen_name(f), nullptr) << "a choice target has no name";
}

// The log written so far to `file`: the log stream is closed, read and opened again
// for appending.
inline std::string log_so_far(const std::string& file)
{
	xer.close();
	const std::string text = kx_test::read_file(file);
	xer.open(file, std::ios::out | std::ios::app);
	return text;
}

// How many runs the log says were started.
inline int run_starts(const std::string& log)
{
	int n = 0;
	for (size_t at = log.find("Starting install at "); at != std::string::npos; at = log.find("Starting install at ", at + 1))
		++n;
	return n;
}

class WizardTest : public ::testing::Test {
protected:
	WizardTest()
	    : media(env.path("media/")),
	      roots("KESTRIX_MEDIA_ROOTS", media.c_str()),
	      eject("KESTRIX_EJECT_COMMAND", env.path("eject.sh").c_str())
	{
		reset_wizard_globals();
		::mkdir(media.c_str(), 0755);
		::mkdir(env.path("ejected/").c_str(), 0755);
		kx_test::write_file(env.path("eject.sh"), "#!/bin/sh\necho \"$1\" >> \"" + env.path("ejects.log") +
		                                               "\"\nmv \"$1\" \"" + env.path("ejected/") + "\"\n");
		::chmod(env.path("eject.sh").c_str(), 0755);
		EXPECT_EQ(get_OS_abs_path(os_dir_temp, temp_path), 0);
	}
	~WizardTest() override { reset_wizard_globals(); }

	// The volumes the fake eject was run with, one per line.
	std::string ejects() const { return kx_test::read_file(env.path("ejects.log")); }

	// A DVD folder under the media root; `identity` is the text of its identity file
	// (none when empty), `list` the text of the zipped file list (none when empty).
	std::string make_dvd(const std::string& name, const std::string& identity, const std::string& list)
	{
		const std::string root = media + name + "/";
		::mkdir(root.c_str(), 0755);
		if (!identity.empty()) kx_test::write_file(root + "dvd_version.txt", identity);
		if (!list.empty()) {
			const std::string work = env.path("work/directory.txt");
			kx_test::write_file(work, list);
			::mkdir((root + kProduct).c_str(), 0755);
			EXPECT_EQ(file_to_zip(work, root + kProduct + "/directory.txt.zip"), 0);
		}
		return root;
	}
	static std::string identity(const std::string& name = kProduct)
	{
		return "I\n900 version\nDVD\n\nVERSION " + name + "\n";
	}
	// A file list of two files: a.txt on DVD 0 and b.txt on DVD `b_disk`.
	static std::string two_file_list(int b_disk)
	{
		const std::string sig = kx_engine_test::md5_of("x");
		return kx_engine_test::file_list("DIR All/\nDISK 0\n" + kx_engine_test::file_line(0, sig, "a.txt") + "DISK " +
		                                 std::to_string(b_disk) + "\n" + kx_engine_test::file_line(0, sig, "b.txt"));
	}

	kx_test::TempEnv env;
	std::string media;
	kx_test::ScopedEnvVar roots;
	kx_test::ScopedEnvVar eject;
};

// Runs screens as the wizard engine does from `start` until `stop` is shown, pressing
// Continue where a screen offers it (a result moves on by itself). `each` sees every
// frame, `trail` gets every screen's name, and `clock_step` seconds pass on the frame
// clock between frames. True, with the stop screen's frame in `shown`, once `stop` is
// shown; false when a minute passes first.
inline bool walk_screens(screen_fn start, screen_fn stop, const std::function<void(screen_fn, wizard_screen&)>& each,
                         std::vector<std::string>& trail, float clock_step, wizard_screen& shown)
{
	constexpr auto kWalkLimit = std::chrono::seconds(60);
	constexpr auto kBetweenFrames = std::chrono::microseconds(200);
	screen_fn current = start, last = nullptr;
	const auto until = std::chrono::steady_clock::now() + kWalkLimit;
	while (std::chrono::steady_clock::now() < until) {
		wizard_screen s;
		const int first = current != last;
		last = current;
		const int r = current(first, s);
		if (each) each(current, s);
		trail.push_back(wizard_screen_name(current));
		if (current == stop) {
			shown = s;
			return true;
		}
		if (s.next_screen && (r || s.next_screen != wizard_quit)) current = s.next_screen;
		xtim.elapsed += clock_step;
		std::this_thread::sleep_for(kBetweenFrames);
	}
	return false;
}

}  // namespace kx_wizard_test
