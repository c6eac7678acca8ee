#include "runtime/io_safe_path.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "runtime/hl_errors.h"
#include "runtime/hl_globals.h"

static int refuse(const std::string& name, const char* why)
{
	xer << "Refusing archive entry \"" << name << "\": " << xer_own(why) << ".\n";
	return err_zip_open;
}

// Splits on "/"; empty components (a final "/", "//") are dropped.
static std::vector<std::string> components(const std::string& path)
{
	std::vector<std::string> out;
	size_t at = 0;
	while (at <= path.size()) {
		size_t slash = path.find('/', at);
		if (slash == std::string::npos) slash = path.size();
		if (slash > at) out.push_back(path.substr(at, slash - at));
		at = slash + 1;
	}
	return out;
}

// Why `rel` fails the rule, or null when it stays inside.
static const char* why_outside(const std::string& rel)
{
	if (rel.empty()) return "empty name";
	if (rel.find('\0') != std::string::npos) return "NUL byte in name";
	if (rel[0] == '/') return "absolute name";
	if (rel.find('\\') != std::string::npos) return "\"\\\" in name";
	// A folder path may end in one "/"; every other component must be there.
	const size_t len = rel.back() == '/' ? rel.size() - 1 : rel.size();
	size_t start = 0;
	while (start <= len) {
		size_t end = rel.find('/', start);
		if (end == std::string::npos || end > len) end = len;
		const size_t n = end - start;
		if (n == 0) return "empty component in name";
		if (n == 1 && rel[start] == '.') return "\".\" in name";
		if (n == 2 && rel[start] == '.' && rel[start + 1] == '.') return "\"..\" in name";
		start = end + 1;
	}
	return nullptr;
}

bool path_stays_inside(const std::string& rel) { return why_outside(rel) == nullptr; }

int walk_folder_chain(const std::string& base, const std::string& rel, bool make, std::string* link)
{
	std::string at = base;
	size_t start = 0;
	while (start < rel.size()) {
		size_t end = rel.find('/', start);
		if (end == std::string::npos) end = rel.size();
		at.append(rel, start, end - start);
		struct stat st;
		if (lstat(at.c_str(), &st) != 0) {
			if (errno != ENOENT) return errno;
			if (!make) return 0;
			if (mkdir(at.c_str(), 0755) != 0 && errno != EEXIST) return errno;
			// Someone else may have made it in the meantime; look again.
			if (lstat(at.c_str(), &st) != 0) return errno;
		}
		if (S_ISLNK(st.st_mode)) {
			if (link) *link = at;
			return ELOOP;
		}
		if (!S_ISDIR(st.st_mode)) return ENOTDIR;
		at += '/';
		start = end + 1;
	}
	return 0;
}

int check_entry_name(const std::string& out_dir, const std::string& name)
{
	if (const char* why = why_outside(name)) return refuse(name, why);
	// Every folder of the entry that already exists must be a real folder: writing
	// below a link would land wherever the link points.
	const std::string folders = name.back() == '/' ? name : folder_of(name);
	switch (walk_folder_chain(out_dir, folders, false)) {
	case 0: return 0;
	case ELOOP: return refuse(name, "a folder of it is a symbolic link");
	case ENOTDIR: return refuse(name, "a folder of it is a file");
	default: return refuse(name, "a folder of it cannot be looked at");
	}
}

// A real folder (no link) at root + the components `at`.
static bool is_real_folder(const std::string& root, const std::vector<std::string>& at)
{
	std::string p = root;
	for (const std::string& c : at) p += c + "/";
	struct stat st;
	return lstat(p.substr(0, p.size() - 1).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Walks `steps` from the components `at` below `root`; false when a ".." climbs above
// the start or out of something that is not a real folder: "x/.." is the parent of
// wherever the link x points, not the folder x stands in.
static bool walk_inside(const std::string& root, std::vector<std::string> at, const std::vector<std::string>& steps)
{
	for (const std::string& c : steps) {
		if (c == ".") continue;
		if (c != "..") {
			at.push_back(c);
		} else if (at.empty() || !is_real_folder(root, at)) {
			return false;
		} else {
			at.pop_back();
		}
	}
	return true;
}

int check_link_target(const std::string& out_dir, const std::string& name, const std::string& target)
{
	if (target.empty()) return refuse(name, "empty link target");
	if (target.find('\0') != std::string::npos) return refuse(name, "NUL byte in link target");

	if (target[0] == '/') {
		// An absolute target is inside only when it starts with the destination's own path.
		std::vector<std::string> root = components(out_dir);
		std::vector<std::string> t = components(target);
		if (out_dir.empty() || out_dir[0] != '/' || t.size() < root.size() ||
		    !std::equal(root.begin(), root.end(), t.begin()) ||
		    !walk_inside(out_dir, {}, std::vector<std::string>(t.begin() + root.size(), t.end())))
			return refuse(name, "link target outside the destination");
		return 0;
	}
	// A relative target starts from the link's own folder.
	std::vector<std::string> at = components(name);
	if (!at.empty()) at.pop_back();
	if (!walk_inside(out_dir, at, components(target))) return refuse(name, "link target outside the destination");
	return 0;
}

int check_only_entry(const unpack_record* record, const std::vector<std::string>& names, bool forks)
{
	if (!record || record->only_entry.empty()) return 0;
	// Where a file's resource fork and Finder info travel in a zip archive.
	static const char kForkPrefix[] = "__MACOSX/._";
	// The folder entry a Mac's own archivers put before the forks; the readers skip it.
	static const char kForkFolder[] = "__MACOSX/";
	const std::string& file = record->only_entry;
	const std::string fork = kForkPrefix + file;
	bool have_file = false, have_fork = false;
	for (const std::string& n : names) {
		if (forks && n == kForkFolder) {
			continue;
		} else if (n == file && !have_file) {
			have_file = true;
		} else if (forks && n == fork && have_file && !have_fork) {
			// After its file only: one before it would land on the installed file.
			have_fork = true;
		} else if (n == file || (forks && n == fork && have_fork)) {
			return refuse(n, "a second copy of an entry");
		} else if (forks && n == fork) {
			return refuse(n, "a fork entry before its file");
		} else {
			return refuse(n, "not the file the archive is for");
		}
	}
	return 0;
}

std::string folder_of(const std::string& path)
{
	size_t slash = path.rfind('/');
	return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// The process's umask, read without changing it (setting it to learn it would race
// with every thread creating files meanwhile).
static unsigned process_umask()
{
	constexpr unsigned usual_umask = 022;
	FILE* f = std::fopen("/proc/self/status", "re");
	if (!f) return usual_umask;
	unsigned mask = usual_umask;
	char line[256];
	while (std::fgets(line, sizeof line, f))
		if (std::sscanf(line, "Umask: %o", &mask) == 1) break;
	std::fclose(f);
	return mask & 0777;
}

unsigned archived_mode(unsigned stored)
{
	constexpr unsigned owner_read_write = 0600;
	return ((stored & 0777) & ~process_umask()) | owner_read_write;
}

const char kx_temp_mark[] = ".kxtmp-";

std::string temp_name_in(const std::string& folder)
{
	static std::atomic<unsigned long> counter{0};
	char buf[64];
	std::snprintf(buf, sizeof buf, "%s%ld-%lu", kx_temp_mark, static_cast<long>(getpid()), counter.fetch_add(1));
	return folder + buf;
}

bool is_temp_name(const std::string& name) { return name.compare(0, sizeof kx_temp_mark - 1, kx_temp_mark) == 0; }

// True when the process that wrote the marked name `name` still runs and is not this one.
static bool writer_still_runs(const std::string& name)
{
	const char* digits = name.c_str() + sizeof kx_temp_mark - 1;
	char* stop = nullptr;
	errno = 0;
	const long pid = std::strtol(digits, &stop, 10);
	if (errno != 0 || stop == digits || *stop != '-' || pid <= 0 || pid > INT_MAX) return false;
	if (pid == static_cast<long>(getpid())) return false;
	return kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

int remove_temp_leftovers(const std::string& folder)
{
	DIR* d = opendir(folder.empty() ? "." : folder.c_str());
	if (!d) return 0;
	std::vector<std::string> names;
	while (struct dirent* e = readdir(d))
		if (is_temp_name(e->d_name) && !writer_still_runs(e->d_name)) names.push_back(e->d_name);
	closedir(d);
	int removed = 0;
	// A folder is never ours: unlink leaves it alone.
	for (const std::string& n : names)
		if (unlink((folder + n).c_str()) == 0) ++removed;
	return removed;
}

// A private name next to `dest`.
static std::string private_name(const std::string& dest) { return temp_name_in(folder_of(dest)); }

unpack_file::~unpack_file() { discard(); }

int unpack_file::open(const std::string& dest)
{
	discard();
	dest_ = dest;
	for (int tries = 0; tries < 100; ++tries) {
		temp_ = private_name(dest);
		// O_EXCL: never opens something already there, link or not.
		fd_ = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
		if (fd_ >= 0) return 0;
		if (errno != EEXIST) {
			int err = errno;
			temp_.clear();
			return err;
		}
	}
	temp_.clear();
	return EEXIST;
}

int unpack_file::write(const void* data, size_t size)
{
	if (fd_ < 0) return EBADF;
	const char* p = static_cast<const char*>(data);
	while (size > 0) {
		ssize_t n = ::write(fd_, p, size);
		if (n < 0) {
			if (errno == EINTR) continue;
			return errno;
		}
		if (n == 0) return ENOSPC;
		p += n;
		size -= static_cast<size_t>(n);
	}
	return 0;
}

int unpack_file::set_mode(unsigned mode)
{
	if (fd_ < 0) return EBADF;
	return fchmod(fd_, mode) == 0 ? 0 : errno;
}

int unpack_file::set_time(long long seconds)
{
	if (fd_ < 0) return EBADF;
	struct timespec ts[2];
	ts[0].tv_sec = static_cast<time_t>(seconds);
	ts[0].tv_nsec = 0;
	ts[1] = ts[0];
	return futimens(fd_, ts) == 0 ? 0 : errno;
}

int unpack_file::close()
{
	if (fd_ < 0) return temp_.empty() ? EBADF : 0;
	int fd = fd_;
	fd_ = -1;
	if (::close(fd) != 0) {
		int err = errno;
		discard();
		return err;
	}
	return 0;
}

int unpack_file::commit()
{
	if (temp_.empty()) return EBADF;
	int err = close();
	if (err) return err;
	if (::rename(temp_.c_str(), dest_.c_str()) != 0) {
		err = errno;
		discard();
		return err;
	}
	temp_.clear();
	return 0;
}

void unpack_file::discard()
{
	if (fd_ >= 0) ::close(fd_);
	fd_ = -1;
	if (!temp_.empty()) ::unlink(temp_.c_str());
	temp_.clear();
}

int replace_with_symlink(const std::string& target, const std::string& dest)
{
	for (int tries = 0; tries < 100; ++tries) {
		std::string temp = private_name(dest);
		if (::symlink(target.c_str(), temp.c_str()) != 0) {
			if (errno == EEXIST) continue;
			return errno;
		}
		if (::rename(temp.c_str(), dest.c_str()) != 0) {
			int err = errno;
			::unlink(temp.c_str());
			return err;
		}
		return 0;
	}
	return EEXIST;
}

// How a file system that cannot hold symbolic links (exFAT, FAT) refuses to make one.
static const int kNoLinkErrnos[] = {EPERM, ENOSYS, EOPNOTSUPP, ENOTSUP};

bool links_not_supported(int err)
{
	return std::find(std::begin(kNoLinkErrnos), std::end(kNoLinkErrnos), err) != std::end(kNoLinkErrnos);
}

int write_link_text(const std::string& text, const std::string& written)
{
	unpack_file out;
	int err = out.open(written);
	if (!err) err = out.write(text.data(), text.size());
	if (!err) err = out.close();
	if (!err) err = out.commit();
	return err;
}
