#include "platform/plat_dirs.h"

#include <dlfcn.h>
#include <link.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>

namespace {
std::string env(const char* name)
{
	const char* v = std::getenv(name);
	return v ? v : "";
}

std::string home_dir()
{
	std::string h = env("HOME");
	if (h.empty())
		if (const passwd* pw = getpwuid(getuid())) h = pw->pw_dir ? pw->pw_dir : "";
	while (h.size() > 1 && h.back() == '/') h.pop_back();
	return h;
}

std::string with_slash(std::string p)
{
	if (p.empty() || p.back() != '/') p += '/';
	return p;
}

bool is_folder(const std::string& p)
{
	struct stat st;
	return stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string config_home()
{
	std::string c = env("XDG_CONFIG_HOME");
	if (c.empty() || c[0] != '/') c = home_dir() + "/.config";
	return c;
}

// The desktop line of user-dirs.dirs: XDG_DESKTOP_DIR="$HOME/Desktop" or an absolute path.
std::string desktop_from_user_dirs()
{
	std::ifstream in(config_home() + "/user-dirs.dirs");
	std::string line;
	while (std::getline(in, line)) {
		size_t s = line.find_first_not_of(" \t");
		if (s == std::string::npos || line.compare(s, 16, "XDG_DESKTOP_DIR=") != 0) continue;
		std::string v = line.substr(s + 16);
		if (v.size() >= 2 && v.front() == '"') {
			const size_t q = v.find('"', 1);
			v = v.substr(1, q == std::string::npos ? std::string::npos : q - 1);
		}
		if (v.compare(0, 5, "$HOME") == 0) v = home_dir() + v.substr(5);
		if (!v.empty() && v[0] == '/') return v;
	}
	return "";
}
}  // namespace

int plat_exe_path(std::string& out)
{
	char buf[4096];
	const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
	if (n < 0) return errno;
	out.assign(buf, static_cast<size_t>(n));
	return 0;
}

int plat_desktop_dir(std::string& out)
{
	std::string d = env("XDG_DESKTOP_DIR");
	if (d.empty() || d[0] != '/') d = desktop_from_user_dirs();
	if (d.empty() || !is_folder(d)) {
		const std::string home = home_dir();
		if (home.empty()) return ENOENT;
		d = is_folder(home + "/Desktop") ? home + "/Desktop" : home;
	}
	out = with_slash(d);
	return 0;
}

std::string plat_temp_dir_candidate()
{
	std::string base = env("TMPDIR");
	if (base.empty() || base[0] != '/') base = "/tmp";
	while (base.size() > 1 && base.back() == '/') base.pop_back();
	return base + "/kestrix-installer-" + std::to_string(getuid()) + "/";
}

int plat_temp_dir(std::string& out)
{
	std::string dir = plat_temp_dir_candidate();
	dir.pop_back();
	if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return errno;
	// Another user could have made the name first in a shared /tmp: use it only when it
	// is our own real folder, and keep it private.
	struct stat st;
	if (lstat(dir.c_str(), &st) != 0) return errno;
	if (S_ISLNK(st.st_mode)) return ELOOP;
	if (!S_ISDIR(st.st_mode)) return ENOTDIR;
	if (st.st_uid != getuid()) return EPERM;
	if ((st.st_mode & 077) != 0 && chmod(dir.c_str(), 0700) != 0) return errno;
	out = dir + "/";
	return 0;
}

int plat_prefs_dir(std::string& out)
{
	const std::string c = config_home();
	if (c.empty()) return ENOENT;
	if (!is_folder(c) && mkdir(c.c_str(), 0700) != 0 && errno != EEXIST) return errno;
	out = with_slash(c);
	return 0;
}

namespace {
constexpr char kBundleSuffix[] = ".app";
constexpr char kBundleExeFolder[] = "/Contents/MacOS/";

std::string leaf_of(const std::string& p)
{
	const size_t slash = p.rfind('/');
	return slash == std::string::npos ? p : p.substr(slash + 1);
}

std::string bundle_stem(const std::string& folder_name)
{
	const std::string suffix = kBundleSuffix;
	if (folder_name.size() > suffix.size() && folder_name.compare(folder_name.size() - suffix.size(), suffix.size(), suffix) == 0)
		return folder_name.substr(0, folder_name.size() - suffix.size());
	return folder_name;
}
}  // namespace

std::string plat_bundle_of(const std::string& exe)
{
	const std::string inner = std::string(kBundleSuffix) + kBundleExeFolder;
	const size_t at = exe.rfind(inner);
	if (at == std::string::npos) return exe;
	const std::string name = exe.substr(at + inner.size());
	if (name.empty() || name.find('/') != std::string::npos) return exe;
	const std::string bundle = exe.substr(0, at + sizeof kBundleSuffix - 1);
	// Only X.app/Contents/MacOS/X: a helper program inside a bundle is not the bundle.
	if (bundle_stem(leaf_of(bundle)) != name) return exe;
	return bundle;
}

std::string plat_bundle_executable(const std::string& app)
{
	std::string p = app;
	if (p.size() > 1 && p.back() == '/') p.pop_back();
	if (!is_folder(p)) return p;
	const std::string stem = bundle_stem(leaf_of(p));
	const std::string inside = p + kBundleExeFolder + stem;
	struct stat st;
	if (stat(inside.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(inside.c_str(), X_OK) == 0) return inside;
	return p + "/" + stem;
}

int plat_library_folders(std::vector<std::string>& out)
{
	// The loader's own answer for the running program, so the list is the one it uses.
	void* self = dlopen(nullptr, RTLD_LAZY);
	if (!self) return ENOENT;
	int err = 0;
	Dl_serinfo size;
	if (dlinfo(self, RTLD_DI_SERINFOSIZE, &size) != 0) {
		err = ENOENT;
	} else {
		std::vector<unsigned char> buf(size.dls_size);
		auto* info = reinterpret_cast<Dl_serinfo*>(buf.data());
		*info = size;
		if (dlinfo(self, RTLD_DI_SERINFO, info) != 0) {
			err = ENOENT;
		} else {
			out.clear();
			for (unsigned i = 0; i < info->dls_cnt; ++i) {
				std::string folder = info->dls_serpath[i].dls_name;
				while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
				out.push_back(folder);
			}
		}
	}
	dlclose(self);
	return err;
}

void* plat_load_library(const std::string& path)
{
	if (path.empty()) return nullptr;  // the loader would hand back the program itself
	return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
}

void plat_unload_library(void* handle)
{
	if (handle) dlclose(handle);
}
