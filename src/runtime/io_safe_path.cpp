#include "runtime/io_safe_path.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "runtime/hl_errors.h"
#include "runtime/hl_globals.h"

std::string printable_name(const std::string& name)
{
	std::string out;
	out.reserve(name.size());
	for (unsigned char c : name) out += (c < 0x20 || c == 0x7F) ? '?' : static_cast<char>(c);
	return out;
}

static int refuse(const std::string& name, const char* why)
{
	xer << "Refusing archive entry \"" << printable_name(name) << "\": " << why << ".\n";
	return err_zip_open;
}

// Splits on "/", dropping empty and "." components.
static std::vector<std::string> components(const std::string& path)
{
	std::vector<std::string> out;
	size_t at = 0;
	while (at <= path.size()) {
		size_t slash = path.find('/', at);
		if (slash == std::string::npos) slash = path.size();
		std::string c = path.substr(at, slash - at);
		if (!c.empty() && c != ".") out.push_back(c);
		at = slash + 1;
	}
	return out;
}

int check_entry_name(const std::string& out_dir, const std::string& name)
{
	if (name.empty()) return refuse(name, "empty name");
	if (name.find('\0') != std::string::npos) return refuse(name, "NUL byte in name");
	if (name[0] == '/') return refuse(name, "absolute name");
	std::vector<std::string> parts = components(name);
	for (const std::string& c : parts)
		if (c == "..") return refuse(name, "\"..\" in name");
	// A file is named by its last component. Ending in "." it has none: "a/." would be
	// written inside "a" without "a" being checked below as one of its folders.
	const size_t leaf = name.rfind('/') + 1;  // 0 when there is no "/"
	if (name.back() != '/' && name.compare(leaf, std::string::npos, ".") == 0) return refuse(name, "no file name");

	// Every folder of the entry that already exists must be a real folder: writing
	// below a link would land wherever the link points.
	size_t folders = parts.size();
	if (name.back() != '/' && folders > 0) --folders;  // the last part is the entry itself
	std::string at = out_dir;
	for (size_t i = 0; i < folders; ++i) {
		at += parts[i];
		struct stat st;
		if (lstat(at.c_str(), &st) != 0) break;  // missing: creating the entry fails cleanly
		if (S_ISLNK(st.st_mode)) return refuse(name, "a folder of it is a symbolic link");
		if (!S_ISDIR(st.st_mode)) return refuse(name, "a folder of it is a file");
		at += "/";
	}
	return 0;
}

// Walks `steps` from the components `at`; false when a ".." climbs above the start.
static bool walk_inside(std::vector<std::string> at, const std::vector<std::string>& steps)
{
	for (const std::string& c : steps) {
		if (c != "..") {
			at.push_back(c);
		} else if (at.empty()) {
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
		    !walk_inside({}, std::vector<std::string>(t.begin() + root.size(), t.end())))
			return refuse(name, "link target outside the destination");
		return 0;
	}
	// A relative target starts from the link's own folder.
	std::vector<std::string> at = components(name);
	if (!at.empty()) at.pop_back();
	if (!walk_inside(at, components(target))) return refuse(name, "link target outside the destination");
	return 0;
}

std::string folder_of(const std::string& path)
{
	size_t slash = path.rfind('/');
	return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// A name no archive entry of ours uses, unique in this process, next to `dest`.
static std::string private_name(const std::string& dest)
{
	static std::atomic<unsigned long> counter{0};
	char buf[64];
	std::snprintf(buf, sizeof buf, ".kxpart-%ld-%lu", static_cast<long>(getpid()), counter.fetch_add(1));
	return folder_of(dest) + buf;
}

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
