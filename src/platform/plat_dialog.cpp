#include "platform/plat_dialog.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <iterator>
#include <mutex>

#include "platform/plat_clock.h"

extern char** environ;

namespace {
constexpr char kDialogVar[] = "KESTRIX_FOLDER_DIALOG";
constexpr char kZenity[] = "zenity";
constexpr char kKdialog[] = "kdialog";
constexpr uint64_t kMicrosecondsPerMs = 1000;
// A program killed for its time-out that still has not ended this much later (stuck in
// the kernel) is left behind rather than waited for.
constexpr uint64_t kKilledGraceUs = 2000 * kMicrosecondsPerMs;
// Reads after the program ended: enough to empty both pipes, never an endless stream
// that a helper it left behind keeps writing.
constexpr int kDrainReads = 64;
constexpr size_t kReadChunk = 4096;
constexpr size_t kErrorKeep = 1024;  // of standard error, enough for its first lines
constexpr char kProgressTitle[] = "Kestrix DVD Installer";
constexpr int kPercent = 100;
constexpr unsigned char kFirstNonAscii = 0x80;

// The zenity and kdialog options for each chooser kind.
struct kind_options {
	const char* zenity;   // added to --file-selection; "" for none
	const char* kdialog;  // the kdialog mode
};
const kind_options kKinds[] = {
    {"", "--getopenfilename"},
    {"--save", "--getsavefilename"},
    {"--directory", "--getexistingdirectory"},
};

std::string on_path(const char* name)
{
	const char* path = std::getenv("PATH");
	std::string dirs = path ? path : "";
	size_t at = 0;
	while (at <= dirs.size()) {
		size_t end = dirs.find(':', at);
		if (end == std::string::npos) end = dirs.size();
		std::string dir = dirs.substr(at, end - at);
		if (dir.empty()) dir = ".";
		const std::string full = dir + "/" + name;
		struct stat st;
		if (stat(full.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(full.c_str(), X_OK) == 0) return full;
		at = end + 1;
	}
	return "";
}

// A standard stream of a child that goes through a pipe when `mine` is set: the
// caller's end of the pipe goes there.
struct child_pipe {
	int fd;            // the child's stream
	int* mine;
	bool child_reads;  // standard input
	int ends[2] = {-1, -1};
};

void close_pipes(child_pipe* pipes, size_t n)
{
	for (size_t i = 0; i < n; ++i)
		for (int& e : pipes[i].ends)
			if (e >= 0) close(e), e = -1;
}

// Starts `args` with the streams asked for on pipes.
// With `own_group`, the program leads a process group of its own, so that what it starts
// can be ended with it.
int spawn(const std::vector<std::string>& args, int* out_fd, int* err_fd, int* in_fd, pid_t* pid,
          bool own_group = false)
{
	std::vector<char*> argv;
	for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
	argv.push_back(nullptr);
	child_pipe pipes[] = {{STDOUT_FILENO, out_fd, false}, {STDERR_FILENO, err_fd, false}, {STDIN_FILENO, in_fd, true}};
	for (child_pipe& p : pipes) {
		if (p.mine && pipe2(p.ends, O_CLOEXEC) != 0) {
			const int e = errno;
			close_pipes(pipes, std::size(pipes));
			return e;
		}
	}
	posix_spawn_file_actions_t fa;
	posix_spawn_file_actions_init(&fa);
	for (const child_pipe& p : pipes)
		if (p.mine) posix_spawn_file_actions_adddup2(&fa, p.ends[p.child_reads ? 0 : 1], p.fd);
	posix_spawnattr_t attr;
	posix_spawnattr_init(&attr);
	if (own_group) {
		posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
		posix_spawnattr_setpgroup(&attr, 0);
	}
	const int e = posix_spawnp(pid, argv[0], &fa, &attr, argv.data(), environ);
	posix_spawnattr_destroy(&attr);
	posix_spawn_file_actions_destroy(&fa);
	for (child_pipe& p : pipes) {
		if (!p.mine) continue;
		int& kept = p.ends[p.child_reads ? 1 : 0];
		if (!e) *p.mine = kept, kept = -1;
	}
	close_pipes(pipes, std::size(pipes));
	return e;
}

// The first line of `text` that is not blank, without its line end.
std::string first_line(const std::string& text)
{
	size_t at = 0;
	while (at < text.size()) {
		size_t end = text.find('\n', at);
		if (end == std::string::npos) end = text.size();
		std::string line = text.substr(at, end - at);
		if (!line.empty() && line.back() == '\r') line.pop_back();
		if (line.find_first_not_of(" \t") != std::string::npos) return line;
		at = end + 1;
	}
	return "";
}

bool write_all(int fd, const std::string& s)
{
	size_t done = 0;
	while (done < s.size()) {
		const ssize_t n = write(fd, s.data() + done, s.size() - done);
		if (n < 0 && errno == EINTR) continue;
		if (n <= 0) return false;
		done += size_t(n);
	}
	return true;
}

// The progress child, made once and kept for the rest of the run.
std::mutex g_progress_lock;
int g_progress_fd = -1;
}  // namespace

std::string plat_latin1_to_utf8(const std::string& s)
{
	std::string out;
	for (const char ch : s) {
		const auto c = static_cast<unsigned char>(ch);
		if (c < kFirstNonAscii) {
			out += ch;
		} else {
			out += static_cast<char>(0xC0 | (c >> 6));
			out += static_cast<char>(0x80 | (c & 0x3F));
		}
	}
	return out;
}

plat_dialog_program plat_find_dialog_program()
{
	plat_dialog_program p;
	if (const char* named = std::getenv(kDialogVar); named && *named) {
		p.tool = plat_tool_named;
		p.path = named;
	} else if (std::string z = on_path(kZenity); !z.empty()) {
		p.tool = plat_tool_zenity;
		p.path = z;
	} else if (std::string k = on_path(kKdialog); !k.empty()) {
		p.tool = plat_tool_kdialog;
		p.path = k;
	}
	return p;
}

std::vector<std::string> plat_dialog_args(const plat_dialog_program& p, int kind, const std::string& message,
                                          const std::string& start, const std::string& proposed)
{
	if (kind < plat_dialog_open || kind > plat_dialog_folder) kind = plat_dialog_folder;
	const kind_options& k = kKinds[kind];
	std::string where = start;
	if (!where.empty() && where.back() != '/') where += '/';
	if (kind == plat_dialog_save) where += proposed;
	std::vector<std::string> a = {p.path};
	if (p.tool == plat_tool_kdialog) {
		a.insert(a.end(), {"--title", message, k.kdialog});
		if (!where.empty()) a.push_back(where);
		return a;
	}
	a.push_back("--file-selection");
	if (*k.zenity) a.push_back(k.zenity);
	a.push_back("--title=" + message);
	if (!start.empty()) a.push_back("--filename=" + where);
	return a;
}

plat_dialog_outcome plat_run_dialog(const std::vector<std::string>& args, size_t max_answer, void (*pump)(),
                                    int limit_ms)
{
	plat_dialog_outcome o;
	if (args.empty()) return o;
	int out = -1, err = -1;
	pid_t pid = -1;
	// A program given a time limit is ended with whatever it started by then.
	if ((o.start_error = spawn(args, &out, &err, nullptr, &pid, limit_ms > 0)) != 0) return o;
	std::string errors;
	struct stream {
		int* fd;
		std::string* kept;
		size_t keep;
	};
	const stream streams[] = {{&out, &o.answer, max_answer}, {&err, &errors, kErrorKeep}};
	char buf[kReadChunk];
	bool ended = false, reaped = false, abandoned = false;
	int status = 0;
	const uint64_t started = PLAT_microseconds();
	const uint64_t limit_us = limit_ms > 0 ? uint64_t(limit_ms) * kMicrosecondsPerMs : 0;
	uint64_t pumped = started;
	int drained = 0;
	while (!ended || out >= 0 || err >= 0) {
		pollfd p[std::size(streams)];
		const stream* of[std::size(streams)];
		nfds_t n = 0;
		for (const stream& s : streams) {
			if (*s.fd < 0) continue;
			of[n] = &s;
			p[n++] = {*s.fd, POLLIN, 0};
		}
		// Once the program has ended, only what is already in the pipes is read.
		const int r = poll(p, n, ended ? 0 : plat_pump_interval_ms);
		if (r < 0 && errno != EINTR) break;
		if (r == 0 && ended) break;
		if (ended && ++drained > kDrainReads) break;
		for (nfds_t i = 0; r > 0 && i < n; ++i) {
			if (!p[i].revents) continue;
			const stream& s = *of[i];
			const ssize_t got = read(*s.fd, buf, sizeof buf);
			if (got < 0 && errno == EINTR) continue;
			if (got <= 0) {
				close(*s.fd);
				*s.fd = -1;
				continue;
			}
			// Whatever comes past what is kept is read and dropped, so the child never blocks.
			if (s.kept->size() < s.keep) s.kept->append(buf, std::min(size_t(got), s.keep - s.kept->size()));
		}
		if (!ended) {
			const pid_t w = waitpid(pid, &status, WNOHANG);
			reaped = w == pid;
			ended = reaped || (w < 0 && errno != EINTR);
		}
		if (ended) continue;
		// The window is served on time even while the program writes without a pause.
		const uint64_t now = PLAT_microseconds();
		if (pump && now - pumped >= plat_pump_interval_ms * kMicrosecondsPerMs) {
			pump();
			pumped = now;
		}
		if (!limit_us || now - started < limit_us) continue;
		if (!o.timed_out) {
			// Killed with its process group, then reaped on a later turn: no zombie and no
			// helper of its own is left behind.
			kill(-pid, SIGKILL);
			o.timed_out = true;
		} else if (now - started >= limit_us + kKilledGraceUs) {
			abandoned = true;
			break;
		}
	}
	for (int fd : {out, err})
		if (fd >= 0) close(fd);
	while (!ended && !abandoned) {
		const pid_t w = waitpid(pid, &status, 0);
		reaped = w == pid;
		ended = reaped || errno != EINTR;
	}
	if (reaped && WIFEXITED(status)) o.status = WEXITSTATUS(status);
	if (reaped && WIFSIGNALED(status)) o.signal = WTERMSIG(status);
	o.error_line = first_line(errors);
	return o;
}

int plat_progress_show(const std::string& text, const float* fraction)
{
	std::lock_guard<std::mutex> hold(g_progress_lock);
	if (g_progress_fd < 0) {
		const std::string z = on_path(kZenity);
		if (z.empty()) return ENOENT;
		pid_t pid;
		const std::vector<std::string> args = {z, "--progress", std::string("--title=") + kProgressTitle,
		                                       "--text=" + text, "--no-cancel"};
		if (int e = spawn(args, nullptr, nullptr, &g_progress_fd, &pid)) return e;
	}
	// One line of text: a line end would start a new command.
	std::string one_line = text;
	for (char& c : one_line)
		if (c == '\n' || c == '\r') c = ' ';
	std::string lines = "# " + one_line + "\n";
	if (fraction && *fraction >= 0.0f)
		lines += std::to_string(int(std::trunc(*fraction * kPercent))) + "\n";
	else if (fraction)
		lines += "pulsate:true\n";
	return write_all(g_progress_fd, lines) ? 0 : EPIPE;
}
