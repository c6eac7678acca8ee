// Real keys through the real window: an X server of the test's own, keys typed with
// xdotool, the window seam's events handed to the key layer as the dispatcher does.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "platform/plat_events_sdl.h"
#include "platform/plat_window.h"
#include "runtime/hl_globals.h"
#include "shell/keys.h"
#include "support/fake_draw_keys.h"
#include "support/test_env.h"

namespace {

constexpr int kScreenW = 1024, kScreenH = 768;
constexpr auto kServerWait = std::chrono::seconds(10);
constexpr auto kServerPoll = std::chrono::milliseconds(10);
constexpr int kEventWaitMs = 100;
constexpr auto kKeysWait = std::chrono::seconds(10);

// An Xvfb of the test's own, on the first free display number.
class OwnXServer {
public:
	OwnXServer()
	{
		int fds[2];
		if (pipe(fds) != 0) return;
		pid_ = fork();
		if (pid_ == 0) {
			close(fds[0]);
			const std::string fd = std::to_string(fds[1]);
			const std::string screen = std::to_string(kScreenW) + "x" + std::to_string(kScreenH) + "x24";
			execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(), "-nolisten", "tcp",
			       static_cast<char*>(nullptr));
			_exit(127);
		}
		close(fds[1]);
		fcntl(fds[0], F_SETFL, O_NONBLOCK);
		std::string number;
		const auto until = std::chrono::steady_clock::now() + kServerWait;
		while (std::chrono::steady_clock::now() < until && number.find('\n') == std::string::npos) {
			char c;
			const ssize_t n = read(fds[0], &c, 1);
			if (n == 1) number += c;
			else if (n == 0) break;
			else std::this_thread::sleep_for(kServerPoll);
		}
		close(fds[0]);
		if (number.find('\n') != std::string::npos) display_ = ":" + number.substr(0, number.find('\n'));
	}
	~OwnXServer()
	{
		if (pid_ > 0) {
			kill(pid_, SIGTERM);
			waitpid(pid_, nullptr, 0);
		}
	}
	const std::string& display() const { return display_; }

private:
	pid_t pid_ = -1;
	std::string display_;
};

int run(const std::vector<std::string>& args)
{
	const pid_t pid = fork();
	if (pid == 0) {
		std::vector<char*> argv;
		for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
		argv.push_back(nullptr);
		execvp(argv[0], argv.data());
		_exit(127);
	}
	int status = 0;
	waitpid(pid, &status, 0);
	return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int window_layout(int mac_key) { return plat_window().key_layout(mac_key); }

struct typed {
	const char* keys;  // xdotool's name
	int character, vkey, flags;
	int* hit;  // the frame flag the key raises, or null
};

TEST(KeysGui, TypedKeysArriveWithTheirCharactersVirtualKeysAndFlags)
{
	kx_test::TempEnv env;
	OwnXServer x;
	ASSERT_FALSE(x.display().empty()) << "no Xvfb";
	setenv("DISPLAY", x.display().c_str(), 1);
	const char* title = "Kestrix key test";
	plat_window_spec spec;
	spec.title = title;
	spec.width = 400;
	spec.height = 300;
	ASSERT_TRUE(plat_window().open_window(spec));
	keys_set_layout_hook(window_layout);
	ASSERT_EQ(run({"xdotool", "search", "--sync", "--name", title, "windowfocus", "--sync"}), 0);

	const typed want[] = {
	    {"a", 'a', 65, 8, nullptr},
	    {"shift+1", '!', 49, 9, nullptr},
	    {"Return", 13, 13, 8, &return_hit},
	    {"KP_Enter", 3, 188, 8, nullptr},
	    {"Escape", 27, 27, 8, &escape_hit},
	    {"Delete", 127, 46, 8, &delete_hit},
	};
	for (const typed& t : want) {
		SCOPED_TRACE(t.keys);
		fake_keys::reset();
		return_hit = escape_hit = delete_hit = 0;
		mnw.wind_id = 0;
		ASSERT_EQ(run({"xdotool", "key", "--clearmodifiers", t.keys}), 0);
		// The first key-down of the key, as the frame loop's dispatcher hands it over.
		std::vector<float> got;
		const auto until = std::chrono::steady_clock::now() + kKeysWait;
		while (got.empty() && std::chrono::steady_clock::now() < until) {
			plat_event ev;
			if (!plat_window().wait_event(ev, kEventWaitMs)) continue;
			if (ev.what < plat_ev_key_down || ev.what > plat_ev_auto_key) continue;
			keys.handle_key_raw(ev.what, ev.message, ev.modifiers);
			for (const auto& c : fake_keys::calls("BTN_dispatch_to_focus"))
				if (int(c.args[2]) & key_flag_down) got = c.args;
		}
		EXPECT_EQ(got, (std::vector<float>{float(t.character), float(t.vkey), float(t.flags)}));
		EXPECT_EQ(return_hit, t.hit == &return_hit);
		EXPECT_EQ(escape_hit, t.hit == &escape_hit);
		EXPECT_EQ(delete_hit, t.hit == &delete_hit);
	}
	keys_set_layout_hook(nullptr);
	plat_window().close_window();
}

// Every key the table gives a virtual key is a key the window reports, but the Enter key
// of key code 52, which PC keyboards do not have.
TEST(KeysGui, EveryMappedKeyIsAKeyOfTheWindow)
{
	constexpr int kPowerBookEnter = 52;
	for (int k = 0; k < vtlm_Key_Map_size; ++k) {
		if (!vtlm_Key_Map[k] || k == kPowerBookEnter) continue;
		EXPECT_NE(plat_scancode_of_mac_key(k), SDL_SCANCODE_UNKNOWN) << "key code " << k;
	}
}

}  // namespace
