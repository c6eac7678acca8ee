#include "wizard/main_trace.h"

#include <unistd.h>

#include <algorithm>
#include <set>

#include "runtime/hl_trace.h"
#include "support/archive_tools.h"
#include "wizard/main_screens.h"
#include "wizard_fixture.h"

using kx_test::read_file;
using kx_test::ScopedEnvVar;
using kx_test::TempEnv;

namespace {
int unnamed_screen(int, wizard_screen&) { return 0; }

// Each line of the file through Python's JSON reader, printed back with sorted keys and
// ASCII escapes, one line each; the reader's complaint when a line is not JSON.
std::string as_python_reads_it(const std::string& file)
{
	std::string out;
	const int status = kx_test::run_sh(
	    "python3 -c 'import json,sys\nfor l in open(sys.argv[1], encoding=\"utf-8\"):\n"
	    " d = json.loads(l); d.pop(\"pid\"); d.pop(\"frame\"); print(json.dumps(d, sort_keys=True))' " +
	        kx_test::sh_quote(file),
	    &out);
	return status == 0 ? out : "python failed: " + out;
}
}  // namespace

TEST(ScreenTrace, JsonTextsFromLatin1)
{
	EXPECT_EQ(UTL_trace_json(std::string("say \"hi\"\\\n\t\x01")), "\"say \\\"hi\\\"\\\\\\n\\t\\u0001\"");
	EXPECT_EQ(UTL_trace_json(std::string("caf\xE9 \xA0")), "\"caf\xC3\xA9 \xC2\xA0\"");
	EXPECT_EQ(UTL_trace_json(std::vector<std::string>{"a", "b"}), "[\"a\", \"b\"]");
	EXPECT_EQ(UTL_trace_json(std::vector<std::string>{}), "[]");
}

TEST(ScreenTrace, EveryScreenHasOneName)
{
	std::set<std::string> names;
	std::set<screen_fn> fns;
	for (const auto& [fn, name] : wizard_screen_names()) {
		EXPECT_TRUE(names.insert(name).second) << name;
		EXPECT_TRUE(fns.insert(fn).second) << name;
		EXPECT_STREQ(wizard_screen_name(fn), name);
	}
	EXPECT_STREQ(wizard_screen_name(dvd_switch_disk_scenery), "dvd_switch_disk_scenery");
	EXPECT_EQ(wizard_screen_name(unnamed_screen), nullptr);
}

TEST(ScreenTrace, LinesOnChangeOnlyAndValidJson)
{
	TempEnv env;
	const std::string file = env.path("trace.jsonl");
	wizard_trace_reset();
	{
		ScopedEnvVar off("KESTRIX_SCREEN_TRACE", nullptr);
		wizard_screen s;
		wizard_trace_screen(0, dvd_start, s);
		UTL_trace_modal(994, {"x"}, {"OK"});
	}
	ScopedEnvVar on("KESTRIX_SCREEN_TRACE", file.c_str());
	EXPECT_FALSE(kx_test::path_exists(file));

	wizard_screen s;
	s.title = "Kestrix 9 Installer";
	s.text = "Line one\nsays \"caf\xE9\"";
	s.next_screen = dvd_pick_install;
	s.choice_labels = {"Run Kestrix Now", "Repair Kestrix"};
	s.choice_targets = {dvd_start, dvd_start};
	for (int frame = 0; frame < 3; ++frame) wizard_trace_screen(0, dvd_start, s);
	s.progress = 0.5f;
	s.progress_text = "Installing: a";
	wizard_trace_screen(0, dvd_start, s);
	wizard_trace_screen(0, dvd_start, s);
	s = wizard_screen{};
	s.back_screen = unnamed_screen;
	wizard_trace_screen(2, nullptr, s);
	UTL_trace_modal(997, {"Are you sure?", ""}, {"Cancel", "Continue"});
	UTL_trace_modal("folder_dialog", {"Pick a folder to install Kestrix 9 into.", "/home/a/Desktop/"}, {"Select"});

	EXPECT_EQ(as_python_reads_it(file),
	          "{\"back\": null, \"choices\": [\"Run Kestrix Now\", \"Repair Kestrix\"], \"next\": "
	          "\"dvd_pick_install\", \"progress\": -1, \"progress_text\": \"\", \"screen\": \"dvd_start\", \"text\": "
	          "\"Line one\\nsays \\\"caf\\u00e9\\\"\", \"title\": \"Kestrix 9 Installer\", \"window\": 0}\n"
	          "{\"back\": null, \"choices\": [\"Run Kestrix Now\", \"Repair Kestrix\"], \"next\": "
	          "\"dvd_pick_install\", \"progress\": 0.5, \"progress_text\": \"Installing: a\", \"screen\": "
	          "\"dvd_start\", \"text\": \"Line one\\nsays \\\"caf\\u00e9\\\"\", \"title\": \"Kestrix 9 Installer\", "
	          "\"window\": 0}\n"
	          "{\"back\": \"?\", \"choices\": [], \"next\": null, \"progress\": -1, \"progress_text\": \"\", "
	          "\"screen\": null, \"text\": \"\", \"title\": \"\", \"window\": 2}\n"
	          "{\"labels\": [\"Cancel\", \"Continue\"], \"modal\": 997, \"texts\": [\"Are you sure?\", \"\"]}\n"
	          "{\"labels\": [\"Select\"], \"modal\": \"folder_dialog\", \"texts\": [\"Pick a folder to install "
	          "Kestrix 9 into.\", \"/home/a/Desktop/\"]}\n");
	const std::string raw = read_file(file);
	EXPECT_EQ(raw.rfind("{\"pid\": " + std::to_string(getpid()) + ", \"frame\": ", 0), 0u);

	// Forgetting the last line writes the same one again, and the same size block.
	wizard_trace_sizes("Disk size: 1 KB");
	wizard_trace_reset();
	wizard_trace_screen(2, nullptr, s);
	wizard_trace_sizes("Disk size: 1 KB");
	const std::string again = read_file(file);
	EXPECT_EQ(std::count(again.begin(), again.end(), '\n'), 8);
	wizard_trace_reset();
}

TEST(ScreenTrace, TheSameScreenIsWrittenAgainOnceAModalBoxClosed)
{
	TempEnv env;
	const std::string file = env.path("trace.jsonl");
	ScopedEnvVar on("KESTRIX_SCREEN_TRACE", file.c_str());
	wizard_trace_reset();
	wizard_screen s;
	s.title = "Run Kestrix";
	s.next_screen = dvd_do_run_sim;
	auto lines = [&file] {
		const std::string t = read_file(file);
		return std::count(t.begin(), t.end(), '\n');
	};
	wizard_trace_screen(0, dvd_pick_run_sim, s);
	wizard_trace_screen(0, dvd_pick_run_sim, s);
	EXPECT_EQ(lines(), 1);
	// An alert in the middle of the screen: nothing else changed, yet a driver waiting
	// outside must see that the box is gone before it clicks on.
	UTL_trace_modal(994, {"You selected the folder path:", "/a", "", ""}, {"OK"});
	wizard_trace_screen(0, dvd_pick_run_sim, s);
	EXPECT_EQ(lines(), 3);
	wizard_trace_screen(0, dvd_pick_run_sim, s);
	EXPECT_EQ(lines(), 3);
	UTL_trace_modal("folder_dialog", {"Please select your Kestrix 9 folder.", "/a/"}, {"Select"});
	wizard_trace_screen(0, dvd_pick_run_sim, s);
	EXPECT_EQ(lines(), 5);
	EXPECT_EQ(as_python_reads_it(file).substr(0, 10), "{\"back\": n");
	wizard_trace_reset();
}
