#include "support/test_env.h"

#include <fcntl.h>
#include <ftw.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>
#include <stdexcept>

namespace kx_test {

namespace {
const char* const kVars[] = {"HOME", "XDG_CONFIG_HOME", "XDG_DESKTOP_DIR", "TMPDIR"};

int rm_one(const char* p, const struct stat*, int, struct FTW*) { return ::remove(p) == 0 ? 0 : 0; }

std::mutex g_rec_lock;
std::vector<RecordedAlert> g_recorded;

void recording_presenter(int rw, const std::string& l1, const std::string& l2, const std::string& l3,
                         const std::string& l4, int type, const char* file, int line)
{
	{
		std::lock_guard<std::mutex> g(g_rec_lock);
		g_recorded.push_back({rw, l1, l2, l3, l4, type, file ? file : "", line});
	}
	if (type == t_exit) DIDIVI_alert_exit(1);
}

void throwing_exit(int status) { throw AlertExit{status}; }
}  // namespace

TempEnv::TempEnv()
{
	const char* base = std::getenv("TMPDIR");
	std::string tmpl = std::string(base && *base ? base : "/tmp") + "/kxtest.XXXXXX";
	std::vector<char> buf(tmpl.begin(), tmpl.end());
	buf.push_back('\0');
	if (!mkdtemp(buf.data())) throw std::runtime_error("mkdtemp failed");
	root_ = std::string(buf.data()) + "/";
	for (const char* v : kVars) {
		const char* old = std::getenv(v);
		saved_.push_back({v, {old != nullptr, old ? old : ""}});
	}
	::mkdir((root_ + "home").c_str(), 0700);
	::mkdir((root_ + "home/.config").c_str(), 0700);
	::mkdir((root_ + "home/Desktop").c_str(), 0700);
	::mkdir((root_ + "tmp").c_str(), 0700);
	setenv("HOME", (root_ + "home").c_str(), 1);
	setenv("XDG_CONFIG_HOME", (root_ + "home/.config").c_str(), 1);
	setenv("XDG_DESKTOP_DIR", (root_ + "home/Desktop").c_str(), 1);
	setenv("TMPDIR", (root_ + "tmp").c_str(), 1);
}

TempEnv::~TempEnv()
{
	for (auto& s : saved_) {
		if (s.second.first)
			setenv(s.first.c_str(), s.second.second.c_str(), 1);
		else
			unsetenv(s.first.c_str());
	}
	remove_tree(root_);
}

ScopedTmpfs::ScopedTmpfs(const std::string& folder)
    : folder_(folder), ok_(::mount("kx-test", folder.c_str(), "tmpfs", 0, "size=1m") == 0)
{
}

ScopedTmpfs::~ScopedTmpfs()
{
	if (ok_) ::umount2(folder_.c_str(), MNT_DETACH);
}

namespace {
// Sets or clears the immutable flag of a file; false where the file system or the
// process's rights do not allow it.
bool set_immutable(const std::string& path, bool on)
{
	const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
	if (fd < 0) return false;
	int flags = 0;
	bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
	if (ok) {
		flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
		ok = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
	}
	::close(fd);
	return ok;
}
}  // namespace

ScopedUndeletable::ScopedUndeletable(const std::string& path)
    : path_(path), folder_(path.substr(0, path.rfind('/') + 1))
{
	immutable_ = set_immutable(path_, true);
	if (immutable_) return;
	struct stat st;
	if (::stat(folder_.c_str(), &st) != 0) return;
	folder_mode_ = st.st_mode & 07777;
	::chmod(folder_.c_str(), folder_mode_ & ~0222u);
	locked_folder_ = ::access(folder_.c_str(), W_OK) != 0;
	if (locked_folder_) return;
	::chmod(folder_.c_str(), folder_mode_);
	// Root on a file system without the immutable flag: a read-only view of the folder.
	if (::mount(folder_.c_str(), folder_.c_str(), nullptr, MS_BIND, nullptr) != 0) return;
	bound_read_only_ =
	    ::mount(nullptr, folder_.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) == 0;
	if (!bound_read_only_) ::umount2(folder_.c_str(), MNT_DETACH);
}

ScopedUndeletable::~ScopedUndeletable()
{
	if (immutable_) set_immutable(path_, false);
	if (locked_folder_) ::chmod(folder_.c_str(), folder_mode_);
	if (bound_read_only_) ::umount2(folder_.c_str(), MNT_DETACH);
}

void remove_tree(const std::string& path)
{
	if (path.empty() || path == "/") return;
	std::string p = path;
	while (p.size() > 1 && p.back() == '/') p.pop_back();
	// Make every folder writable first so clean-up also works after permission tests.
	nftw(p.c_str(), [](const char* f, const struct stat* st, int type, struct FTW*) {
		if (type == FTW_D) ::chmod(f, (st->st_mode & 07777) | 0700);
		return 0;
	}, 32, FTW_PHYS);
	nftw(p.c_str(), rm_one, 32, FTW_DEPTH | FTW_PHYS);
}

bool write_file(const std::string& path, const std::string& data)
{
	for (size_t i = 1; i < path.size(); ++i)
		if (path[i] == '/') ::mkdir(path.substr(0, i).c_str(), 0755);
	std::ofstream o(path, std::ios::binary | std::ios::trunc);
	if (!o) return false;
	o.write(data.data(), static_cast<std::streamsize>(data.size()));
	o.close();
	return static_cast<bool>(o);
}

std::string read_file(const std::string& path)
{
	std::ifstream i(path, std::ios::binary);
	std::ostringstream s;
	s << i.rdbuf();
	return s.str();
}

std::string log_breakout(const std::string& log, const std::string& forged)
{
	constexpr unsigned char first_printable = 0x20, del = 0x7f;
	for (size_t i = 0; i < log.size(); ++i) {
		const unsigned char c = static_cast<unsigned char>(log[i]);
		if ((c < first_printable && c != '\n') || c == del)
			return "byte " + std::to_string(c) + " at " + std::to_string(i) + " in:\n" + log;
		if ((i == 0 || log[i - 1] == '\n') && log.compare(i, forged.size(), forged) == 0)
			return "a line begins with " + forged + " at " + std::to_string(i) + " in:\n" + log;
	}
	return "";
}

AlertRecorder::AlertRecorder()
{
	clear();
	old_presenter_ = DIDIVI_set_alert_presenter(recording_presenter);
	old_exit_ = DIDIVI_set_alert_exit(throwing_exit);
}

AlertRecorder::~AlertRecorder()
{
	DIDIVI_set_alert_presenter(old_presenter_);
	DIDIVI_set_alert_exit(old_exit_);
}

AlertsShownWhereRaised::AlertsShownWhereRaised() : old_(DIDIVI_set_alert_forwarder(nullptr)) {}

AlertsShownWhereRaised::~AlertsShownWhereRaised() { DIDIVI_set_alert_forwarder(old_); }

std::vector<RecordedAlert> AlertRecorder::alerts() const
{
	std::lock_guard<std::mutex> g(g_rec_lock);
	return g_recorded;
}

void AlertRecorder::clear()
{
	std::lock_guard<std::mutex> g(g_rec_lock);
	g_recorded.clear();
}

ScopedEnvVar::ScopedEnvVar(const char* name, const char* value) : name_(name)
{
	const char* old = std::getenv(name);
	had_ = old != nullptr;
	if (had_) old_ = old;
	if (value)
		setenv(name, value, 1);
	else
		unsetenv(name);
}

ScopedEnvVar::~ScopedEnvVar()
{
	if (had_)
		setenv(name_.c_str(), old_.c_str(), 1);
	else
		unsetenv(name_.c_str());
}

ScopedWorkingFolder::ScopedWorkingFolder(const std::string& folder)
{
	char buf[4096];
	if (!getcwd(buf, sizeof buf) || chdir(folder.c_str()) != 0) throw std::runtime_error("cannot change folder");
	old_ = buf;
}

ScopedWorkingFolder::~ScopedWorkingFolder()
{
	if (chdir(old_.c_str()) != 0) std::perror("chdir");
}

}  // namespace kx_test
