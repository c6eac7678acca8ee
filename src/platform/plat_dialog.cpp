#include "platform/plat_dialog.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <mutex>

extern char** environ;

namespace {
constexpr char kDialogVar[] = "KESTRIX_FOLDER_DIALOG";
constexpr char kZenity[] = "zenity";
constexpr char kKdialog[] = "kdialog";
constexpr int kPumpMs = 20;
constexpr size_t kReadChunk = 4096;
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

// Starts `args` with its standard output (and input, when asked) on pipes.
int spawn(const std::vector<std::string>& args, int* out_fd, int* in_fd, pid_t* pid)
{
	std::vector<char*> argv;
	for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
	argv.push_back(nullptr);
	int out[2] = {-1, -1}, in[2] = {-1, -1};
	if (out_fd && pipe2(out, O_CLOEXEC) != 0) return errno;
	if (in_fd && pipe2(in, O_CLOEXEC) != 0) {
		const int e = errno;
		if (out_fd) close(out[0]), close(out[1]);
		return e;
	}
	posix_spawn_file_actions_t fa;
	posix_spawn_file_actions_init(&fa);
	if (out_fd) posix_spawn_file_actions_adddup2(&fa, out[1], STDOUT_FILENO);
	if (in_fd) posix_spawn_file_actions_adddup2(&fa, in[0], STDIN_FILENO);
	const int e = posix_spawnp(pid, argv[0], &fa, nullptr, argv.data(), environ);
	posix_spawn_file_actions_destroy(&fa);
	if (out_fd) {
		close(out[1]);
		if (e) close(out[0]);
		else *out_fd = out[0];
	}
	if (in_fd) {
		close(in[0]);
		if (e) close(in[1]);
		else *in_fd = in[1];
	}
	return e;
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
                                          const std::string& ok_label, const std::string& start,
                                          const std::string& proposed)
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
	a.push_back("--ok-label=" + ok_label);
	if (!start.empty()) a.push_back("--filename=" + where);
	return a;
}

int plat_run_dialog(const std::vector<std::string>& args, std::string& answer, size_t max_answer, void (*pump)())
{
	answer.clear();
	int fd = -1;
	pid_t pid = -1;
	if (args.empty() || spawn(args, &fd, nullptr, &pid) != 0) return -1;
	char buf[kReadChunk];
	for (;;) {
		pollfd p = {fd, POLLIN, 0};
		const int r = poll(&p, 1, kPumpMs);
		if (r < 0 && errno != EINTR) break;
		if (r <= 0) {
			if (pump) pump();
			continue;
		}
		const ssize_t n = read(fd, buf, sizeof buf);
		if (n < 0 && errno == EINTR) continue;
		if (n <= 0) break;
		// Whatever comes past the limit is read and dropped, so the child never blocks.
		if (answer.size() < max_answer) answer.append(buf, std::min(size_t(n), max_answer - answer.size()));
	}
	close(fd);
	int status = 0;
	while (waitpid(pid, &status, 0) < 0) {
		if (errno != EINTR) return -1;
	}
	return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
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
		if (int e = spawn(args, nullptr, &g_progress_fd, &pid)) return e;
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
