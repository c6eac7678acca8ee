#pragma once
// A private X server for GUI tests: its own Xvfb of a given size, never the
// developer's display. Programs run under it get DISPLAY, a sandbox HOME and `timeout`.
#include <string>
#include <vector>

namespace kx_test {

class XvfbServer {
public:
	XvfbServer(int width, int height);
	~XvfbServer();
	XvfbServer(const XvfbServer&) = delete;
	XvfbServer& operator=(const XvfbServer&) = delete;

	bool ok() const { return !display_.empty(); }
	const std::string& why() const { return why_; }
	// ":N".
	const std::string& display() const { return display_; }
	// Points this process's DISPLAY at the server (and restores it when the server goes).
	void use_in_process();

private:
	int pid_ = -1;
	std::string display_;
	std::string why_;
	bool set_env_ = false;
	bool had_display_ = false;
	std::string old_display_;
};

struct RunResult {
	int status = -1;  // exit status; 124 when `timeout` stopped it, -1 when it did not run
	std::string out, err;
};

// Runs argv under `timeout seconds` with the environment changes given as NAME=value
// (an empty value unsets); waits for it and returns its status and output.
RunResult run_program(const std::vector<std::string>& argv, const std::vector<std::string>& env, int seconds);

// Starts argv under `timeout seconds` in the background; returns the pid, or -1.
int start_program(const std::vector<std::string>& argv, const std::vector<std::string>& env, int seconds,
                  const std::string& out_file, const std::string& err_file);
// Waits at most `seconds` for the program; its exit status, or -1 when it did not end
// (it is then killed).
int wait_program(int pid, int seconds);

// The X window of a program found by its exact title on a display, 0 when none
// within `seconds`.
unsigned long find_window(const std::string& display, const std::string& title, int seconds);
// Asks the window to close the way a window manager does (WM_DELETE_WINDOW).
bool send_delete_window(const std::string& display, unsigned long window);
// Geometry of a top-level window relative to the root: x, y, width, height.
bool window_geometry(const std::string& display, unsigned long window, int& x, int& y, int& w, int& h);

}  // namespace kx_test
