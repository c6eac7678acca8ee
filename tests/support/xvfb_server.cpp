#include "support/xvfb_server.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace kx_test {

namespace {

constexpr int kStartSeconds = 10;
constexpr int kPollMs = 50;

double now_s()
{
	timespec t;
	clock_gettime(CLOCK_MONOTONIC, &t);
	return t.tv_sec + t.tv_nsec / 1e9;
}

std::vector<char*> c_args(const std::vector<std::string>& v)
{
	std::vector<char*> out;
	for (const auto& s : v) out.push_back(const_cast<char*>(s.c_str()));
	out.push_back(nullptr);
	return out;
}

void apply_env(const std::vector<std::string>& env)
{
	for (const auto& kv : env) {
		const auto eq = kv.find('=');
		if (eq == std::string::npos) continue;
		const std::string name = kv.substr(0, eq), value = kv.substr(eq + 1);
		if (value.empty())
			unsetenv(name.c_str());
		else
			setenv(name.c_str(), value.c_str(), 1);
	}
}

std::string slurp(const std::string& path)
{
	std::ifstream in(path);
	std::stringstream s;
	s << in.rdbuf();
	return s.str();
}

}  // namespace

XvfbServer::XvfbServer(int width, int height)
{
	int fds[2];
	if (pipe(fds) != 0) {
		why_ = "pipe failed";
		return;
	}
	const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
	const pid_t pid = fork();
	if (pid < 0) {
		why_ = "fork failed";
		return;
	}
	if (pid == 0) {
		close(fds[0]);
		const int devnull = open("/dev/null", O_RDWR);
		dup2(devnull, 1);
		dup2(devnull, 2);
		const std::string fd = std::to_string(fds[1]);
		std::vector<std::string> argv = {"Xvfb", "-displayfd", fd, "-screen", "0", screen, "-nolisten", "tcp"};
		auto a = c_args(argv);
		execvp("Xvfb", a.data());
		_exit(127);
	}
	close(fds[1]);
	pid_ = pid;
	std::string number;
	const double deadline = now_s() + kStartSeconds;
	while (now_s() < deadline) {
		pollfd p = {fds[0], POLLIN, 0};
		if (poll(&p, 1, kPollMs) <= 0) continue;
		char c;
		const ssize_t n = read(fds[0], &c, 1);
		if (n <= 0) break;
		if (c == '\n') break;
		number += c;
	}
	close(fds[0]);
	if (number.empty()) {
		why_ = "Xvfb did not start";
		return;
	}
	display_ = ":" + number;
}

XvfbServer::~XvfbServer()
{
	if (set_env_) {
		if (had_display_)
			setenv("DISPLAY", old_display_.c_str(), 1);
		else
			unsetenv("DISPLAY");
	}
	if (pid_ > 0) {
		kill(pid_, SIGTERM);
		wait_program(pid_, kStartSeconds);  // killed outright if it does not go in time
	}
}

void XvfbServer::use_in_process()
{
	if (!set_env_) {
		const char* d = std::getenv("DISPLAY");
		had_display_ = d != nullptr;
		old_display_ = d ? d : "";
		set_env_ = true;
	}
	setenv("DISPLAY", display_.c_str(), 1);
}

int start_program(const std::vector<std::string>& argv, const std::vector<std::string>& env, int seconds,
                  const std::string& out_file, const std::string& err_file)
{
	const pid_t pid = fork();
	if (pid < 0) return -1;
	if (pid == 0) {
		apply_env(env);
		const int out = open(out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
		const int err = open(err_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
		if (out >= 0) dup2(out, 1);
		if (err >= 0) dup2(err, 2);
		std::vector<std::string> full = {"timeout", std::to_string(seconds)};
		full.insert(full.end(), argv.begin(), argv.end());
		auto a = c_args(full);
		execvp("timeout", a.data());
		_exit(127);
	}
	return pid;
}

int wait_program(int pid, int seconds)
{
	const double deadline = now_s() + seconds;
	int status = 0;
	for (;;) {
		const pid_t r = waitpid(pid, &status, WNOHANG);
		if (r == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
		if (r < 0 && errno != EINTR) return -1;
		if (now_s() > deadline) {
			kill(pid, SIGKILL);
			waitpid(pid, &status, 0);
			return -1;
		}
		usleep(kPollMs * 1000);
	}
}

RunResult run_program(const std::vector<std::string>& argv, const std::vector<std::string>& env, int seconds)
{
	char tmpl[] = "/tmp/kxrun.XXXXXX";
	const char* base = std::getenv("TMPDIR");
	std::string dir = std::string(base && *base ? base : "/tmp") + "/kxrun.XXXXXX";
	std::vector<char> buf(dir.begin(), dir.end());
	buf.push_back('\0');
	const char* made = mkdtemp(buf.data());
	if (!made) made = mkdtemp(tmpl);
	RunResult r;
	if (!made) return r;
	const std::string out = std::string(made) + "/out", err = std::string(made) + "/err";
	const int pid = start_program(argv, env, seconds, out, err);
	if (pid < 0) return r;
	r.status = wait_program(pid, seconds + kStartSeconds);
	r.out = slurp(out);
	r.err = slurp(err);
	unlink(out.c_str());
	unlink(err.c_str());
	rmdir(made);
	return r;
}

namespace {

// Windows come and go while a test looks at them (a program closing, or opening its
// helper windows). Xlib's own handler ends the whole test process on the first request
// about a window that has gone: here such a request just fails.
int ignore_x_errors(Display*, XErrorEvent*) { return 0; }

struct x_connection {
	Display* d;
	XErrorHandler before;
	explicit x_connection(const std::string& display)
	    : d(XOpenDisplay(display.c_str())), before(XSetErrorHandler(ignore_x_errors)) {}
	~x_connection()
	{
		if (d) XCloseDisplay(d);
		XSetErrorHandler(before);
	}
	x_connection(const x_connection&) = delete;
	x_connection& operator=(const x_connection&) = delete;
};

Window find_in(Display* d, Window w, const std::string& title)
{
	char* name = nullptr;
	if (XFetchName(d, w, &name) && name) {
		const bool match = title == name;
		XFree(name);
		if (match) return w;
	}
	Window root, parent, *children = nullptr;
	unsigned n = 0;
	if (!XQueryTree(d, w, &root, &parent, &children, &n)) return 0;
	Window found = 0;
	for (unsigned i = 0; i < n && !found; ++i) found = find_in(d, children[i], title);
	if (children) XFree(children);
	return found;
}

}  // namespace

unsigned long find_window(const std::string& display, const std::string& title, int seconds)
{
	x_connection x(display);
	if (!x.d) return 0;
	const double deadline = now_s() + seconds;
	Window w = 0;
	while (!w && now_s() < deadline) {
		w = find_in(x.d, DefaultRootWindow(x.d), title);
		if (!w) usleep(kPollMs * 1000);
	}
	return w;
}

bool send_delete_window(const std::string& display, unsigned long window)
{
	x_connection x(display);
	Display* d = x.d;
	if (!d) return false;
	XEvent e;
	std::memset(&e, 0, sizeof(e));
	e.xclient.type = ClientMessage;
	e.xclient.window = window;
	e.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
	e.xclient.format = 32;
	e.xclient.data.l[0] = long(XInternAtom(d, "WM_DELETE_WINDOW", False));
	e.xclient.data.l[1] = CurrentTime;
	const bool sent = XSendEvent(d, window, False, NoEventMask, &e) != 0;
	XSync(d, False);
	return sent;
}

bool window_geometry(const std::string& display, unsigned long window, int& x, int& y, int& w, int& h)
{
	x_connection c(display);
	if (!c.d) return false;
	XWindowAttributes a;
	Window child;
	const bool ok = XGetWindowAttributes(c.d, window, &a) != 0 &&
	                XTranslateCoordinates(c.d, window, DefaultRootWindow(c.d), 0, 0, &x, &y, &child) != 0;
	if (ok) {
		w = a.width;
		h = a.height;
	}
	return ok;
}

}  // namespace kx_test
