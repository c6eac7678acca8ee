#include "flow_fixture.h"

#include <fstream>
#include <sstream>

#include "support/builder_run.h"
#include "support/gl_pixels.h"

namespace kx_flow_test {

namespace {

// The fixture whose frames are running: the swap hook answers its questions.
FlowTest* g_running = nullptr;

}  // namespace

std::string trace_line::field(const std::string& key) const
{
	const std::string tag = "\"" + key + "\": ";
	size_t at = raw.find(tag);
	if (at == std::string::npos) return "";
	at += tag.size();
	if (raw[at] != '"') {
		const size_t end = raw.find_first_of(",}", at);
		return raw.substr(at, end - at);
	}
	std::string out;
	for (size_t i = at + 1; i < raw.size() && raw[i] != '"'; ++i) {
		if (raw[i] != '\\' || i + 1 >= raw.size()) {
			out += raw[i];
			continue;
		}
		const char c = raw[++i];
		out += c == 'n' ? '\n' : c == 't' ? '\t' : c;
	}
	return out;
}

std::vector<trace_line> read_trace(const std::string& file)
{
	std::vector<trace_line> lines;
	std::ifstream in(file);
	for (std::string l; std::getline(in, l);) lines.push_back({l});
	return lines;
}

FlowTest::FlowTest()
{
	if (!world->ok()) return;
	::mkdir(master.c_str(), 0755);
	THREAD_init();
	mnw.x_res_now = kScreenW;
	mnw.y_res_now = kScreenH;
	// As the window start-up opened.
	mnw.window_width = kScreenW;
	mnw.window_height = kScreenH;
	mnw.ui_scale = 1.0f;
	mnw.menu_state = -1;
	quit_requested = 0;
	// As the program's start does before its first frame.
	main_init_globals();
	http.proxy_host = "127.0.0.1";
	http.proxy_port_int = server.port();
	demo_dest = new_copy_place{};
	install_question_windows();
	wizard_trace_reset();
	wizard_reset_engine();
	g_running = this;
	old_swap = OGL_set_swap_hook([] {
		FlowTest* t = g_running;
		if (t && t->grab_pending) {
			t->grabbed = gl_read_rect(t->grab_rect[0], t->grab_rect[1], t->grab_rect[2], t->grab_rect[3]);
			t->grab_pending = false;
		}
		plat_window().swap();
		if (!t || !t->question_pending || mnw.current_window != kQuestionWindow) return;
		// The box is up: its button is pressed in the next two frames.
		const int px = int(kQuestionOrigin.x + t->question_answer.x);
		const int py = int(kScreenH - (kQuestionOrigin.y + t->question_answer.y));
		t->win.pointer_x = px;
		t->win.pointer_y = py;
		t->win.at_frame(t->win.frame(), ScriptedWindow::click(plat_ev_mouse_down, px, py));
		t->win.at_frame(t->win.frame() + 1, ScriptedWindow::click(plat_ev_mouse_up, px, py));
		t->question_pending = false;
		++t->questions_answered;
	});
	DIDIVI_reset_frame_loop();
	DIDIVI_startwind(wind_main, 0);
}

FlowTest::~FlowTest()
{
	checksum_directory_kill();
	for (int s = 0; s < http_slot_count; ++s) http.cancel(s);
	if (world->ok()) OGL_set_swap_hook(old_swap);
	g_running = nullptr;
	g_wizard = dvd_start;
	wizard_reset_engine();
	wizard_trace_reset();
	demo_dest = new_copy_place{};
	quit_requested = 0;
	app_done = 0;
}

bool FlowTest::frames_until(const std::function<bool()>& done, int seconds)
{
	const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
	while (std::chrono::steady_clock::now() < until) {
		DIDIVI_event_proc();
		if (done()) return true;
		std::this_thread::sleep_for(kFramePause);
	}
	return false;
}

std::vector<unsigned char> FlowTest::grab(int x, int y, int w, int h)
{
	grab_rect[0] = x, grab_rect[1] = y, grab_rect[2] = w, grab_rect[3] = h;
	grab_pending = true;
	DIDIVI_event_proc();
	return grabbed;
}

void FlowTest::click(point p)
{
	const int px = int(p.x), py = int(kScreenH - p.y);
	win.pointer_x = px;
	win.pointer_y = py;
	win.at_frame(win.frame(), ScriptedWindow::click(plat_ev_mouse_down, px, py));
	win.at_frame(win.frame() + 1, ScriptedWindow::click(plat_ev_mouse_up, px, py));
}

bool FlowTest::continue_from(screen_fn screen)
{
	const std::string name = wizard_screen_name(screen);
	const bool offered = frames_until([&] {
		const std::vector<trace_line> mine = lines_of(name);
		return g_wizard == screen && !mine.empty() && mine.back().field("next") != "null";
	});
	if (!offered) return false;
	click(kContinue);
	return frames_until([&] { return g_wizard != screen; });
}

void FlowTest::start_updater(const std::string& copy)
{
	std::string typed = copy;
	if (typed.size() > 1 && typed.back() == '/') typed.pop_back();
	const char* argv[] = {"kestrix-installer", "-path", typed.c_str()};
	main_take_path_arg(3, argv);
	g_wizard = net_start;
}

void FlowTest::demo_to_the_destination()
{
	g_wizard = demo_start;
	ASSERT_TRUE(continue_from(demo_start));
	ASSERT_TRUE(frames_until([this] { return showed("demo_eula"); }));
	EXPECT_EQ(last_of("demo_eula").field("next"), "null") << "Continue waits for the box";
	click(kLicenceBox);
	ASSERT_TRUE(frames_until([] { return accept_eula_demo == 1; }));
	// The frame that ticked the box already offers Continue.
	EXPECT_EQ(last_of("demo_eula").field("next"), "demo_get_updates");
	ASSERT_TRUE(continue_from(demo_eula));
	// "Check Servers" moves on by itself once the file list is read.
	ASSERT_TRUE(frames_until([] { return g_wizard == demo_pick_dest; }));
	EXPECT_EQ(last_of("demo_get_updates").field("title"), "Check Servers");
}

std::vector<std::string> FlowTest::size_block_of(const std::string& screen) const
{
	// The block is drawn while its screen is called, so its line comes before the
	// screen's own line of that frame, when the frame wrote one.
	const std::vector<trace_line> all = trace();
	std::string block, current;
	for (size_t i = 0; i < all.size(); ++i) {
		if (all[i].has("screen")) current = all[i].field("screen");
		if (!all[i].has("sizes")) continue;
		std::string owner = current;
		for (size_t j = i + 1; j < all.size() && all[j].field("frame") == all[i].field("frame"); ++j) {
			if (!all[j].has("screen")) continue;
			owner = all[j].field("screen");
			break;
		}
		if (owner == screen) block = all[i].field("sizes");
	}
	std::vector<std::string> lines;
	std::istringstream in(block);
	for (std::string l; std::getline(in, l);) lines.push_back(l);
	return lines;
}

std::vector<trace_line> FlowTest::lines_of(const std::string& screen) const
{
	std::vector<trace_line> out;
	for (const trace_line& l : trace())
		if (l.field("screen") == screen) out.push_back(l);
	return out;
}

trace_line FlowTest::last_of(const std::string& screen) const
{
	const std::vector<trace_line> mine = lines_of(screen);
	return mine.empty() ? trace_line{} : mine.back();
}

void FlowTest::build_and_serve(int version, const std::string& old_list)
{
	const std::string masters = env.path("masters/"), served = env.path("served/");
	ASSERT_EQ(kx_test::build_update_release(master, masters, served, kProduct, version, old_list), "");
	for (const char* s : kServers) server.serve_folder(s, kServerPrefix, served);
}

void FlowTest::serve_both_servers()
{
	std::string list = "FINAL " + std::string(kProduct) + "\n";
	for (const char* s : kServers) list += kx_web_test::server_entry(s, kServerPrefix, std::string("Mirror|") + s + "{x");
	serve_list(kx_web_test::server_list(list));
}

std::string FlowTest::read_served_list(const std::string& into)
{
	kx_test::remove_tree(into);
	::mkdir(into.c_str(), 0755);
	EXPECT_EQ(zip_to_file(env.path("served/") + kProduct + "/directory.txt.zip", into, nullptr, 0), 0);
	EXPECT_EQ(read_directory(into + "directory.txt", ""), 3);
	return into + "directory.txt";
}

void FlowTest::copy_of_release(const std::string& copy)
{
	// An install makes these folders even when the list puts no file into one of them.
	kx_wizard_test::make_copy_folders(copy);
	for (const file_history_struct& h : sim_info) {
		const file_version_struct& w = h.back();
		if (w.sig == "GONE" || !installed_here(w.platform)) continue;
		std::string rel = w.path;
		trim_dest_folder(rel);
		const std::string to = copy + rel;
		ASSERT_EQ(kx_test::run_sh("mkdir -p " + kx_test::sh_quote(to.substr(0, to.rfind('/'))) + " && cp -P " +
		                          kx_test::sh_quote(master + w.path) + " " + kx_test::sh_quote(to)),
		          0)
		    << w.path;
		std::string digest;
		ASSERT_EQ(calc_file_md5(to, digest), 0) << rel;
		ASSERT_EQ(digest, w.sig) << rel;
	}
}

std::string FlowTest::archive_path(const std::string& master_path)
{
	return kServerPrefix + std::string(kProduct) + "/" + master_path + ".zip";
}

}  // namespace kx_flow_test
