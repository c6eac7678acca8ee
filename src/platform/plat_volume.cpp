#include "platform/plat_volume.h"

#include <fcntl.h>
#include <linux/cdrom.h>
#include <mntent.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <atomic>
#include <iterator>
#include <fstream>
#include <sstream>
#include <dirent.h>
#include <pwd.h>

#include "platform/plat_dialog.h"

namespace {
// The drive behind a mount, opened without waiting for a disc; -1 when the device is not
// a CD or DVD drive (the capability request is only answered by those).
int open_optical(const std::string& device)
{
	if (device.empty() || device[0] != '/') return -1;
	const int fd = open(device.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
	if (fd < 0) return -1;
	if (ioctl(fd, CDROM_GET_CAPABILITY, 0) < 0) {
		close(fd);
		return -1;
	}
	return fd;
}
}  // namespace

int plat_mount_of(const std::string& path, std::string& mount_point, std::string& device, std::string* fstype)
{
	char* real = realpath(path.c_str(), nullptr);
	if (!real) return errno;
	const std::string p = real;
	free(real);
	struct stat target;
	if (stat(p.c_str(), &target) != 0) return errno;
	FILE* m = setmntent("/proc/self/mounts", "r");
	if (!m) return errno;
	// The last listed mount with the longest matching prefix is the one in effect.
	size_t best = 0;
	bool found = false;
	while (struct mntent* e = getmntent(m)) {
		std::string dir = e->mnt_dir;
		if (dir.size() > 1 && dir.back() == '/') dir.pop_back();
		const bool inside = dir == "/" || p == dir || (p.compare(0, dir.size(), dir) == 0 && p[dir.size()] == '/');
		if (!inside || dir.size() < best) continue;
		struct stat st;
		if (stat(e->mnt_dir, &st) != 0 || st.st_dev != target.st_dev) continue;
		best = dir.size();
		mount_point = dir;
		device = e->mnt_fsname;
		if (fstype) *fstype = e->mnt_type;
		found = true;
	}
	endmntent(m);
	return found ? 0 : ENOENT;
}

namespace {
// File systems reached over the network.
const char* const kNetworkTypes[] = {"nfs", "nfs4", "cifs", "smb3", "smbfs", "9p", "afs", "ceph", "fuse.sshfs"};
constexpr char kBlockDevices[] = "/sys/dev/block/";
// A SCSI device's folder holds its type beside its SCSI level; 5 is the CD-ROM type.
constexpr char kScsiType[] = "/type";
constexpr char kScsiLevel[] = "/scsi_level";
constexpr int kScsiCdRom = 5;

bool is_network_type(const std::string& t)
{
	for (const char* n : kNetworkTypes)
		if (t == n) return true;
	return false;
}

bool is_scsi_cd_rom(const std::string& folder)
{
	if (access((folder + kScsiLevel).c_str(), F_OK) != 0) return false;
	std::ifstream in(folder + kScsiType);
	int type = -1;
	return static_cast<bool>(in >> type) && type == kScsiCdRom;
}
}  // namespace

plat_disc_answer plat_disc_of(const std::string& root)
{
	std::string mount_point, device, fstype;
	if (int e = plat_mount_of(root, mount_point, device, &fstype)) return {plat_disc_no_mount, e};
	if (device.empty()) return {plat_disc_no_device, 0};
	if (is_network_type(fstype)) return {plat_disc_network, 0};
	struct stat st;
	if (stat(device.c_str(), &st) != 0 || !S_ISBLK(st.st_mode)) return {plat_disc_not_a_device, 0};
	const std::string entry =
	    kBlockDevices + std::to_string(major(st.st_rdev)) + ":" + std::to_string(minor(st.st_rdev));
	if (access(entry.c_str(), F_OK) != 0) return {plat_disc_unlisted, 0};
	char* real = realpath(entry.c_str(), nullptr);
	if (!real) return {plat_disc_no_parents, errno};
	const std::string folder = real;
	free(real);
	return {plat_disc_in_devices(folder) ? plat_disc_yes : plat_disc_no, 0};
}

int plat_disc_in_devices(const std::string& device_folder)
{
	std::string folder = device_folder;
	while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
	while (!folder.empty() && folder != "/") {
		if (is_scsi_cd_rom(folder)) return 1;
		const size_t slash = folder.rfind('/');
		folder = slash == std::string::npos || slash == 0 ? "/" : folder.substr(0, slash);
	}
	return 0;
}

namespace {
int drive_eject(const std::string& device, const std::string& mount_point)
{
	const int fd = open_optical(device);
	if (fd < 0) return ENODEV;
	int result = 0;
	if (ioctl(fd, CDROMEJECT, 0) < 0) {
		if (umount(mount_point.c_str()) != 0)
			result = errno;
		else if (ioctl(fd, CDROMEJECT, 0) < 0)
			result = errno;
	}
	close(fd);
	return result;
}

std::atomic<plat_drive_eject_fn> g_drive_eject{drive_eject};

// The desktop's eject goes through udisks, which unmounts and ejects as the user may.
constexpr char kDesktopTool[] = "gio";
const char* const kDesktopEjectArgs[] = {"mount", "--eject"};
constexpr size_t kDesktopAnswerKeep = 0;  // what it prints on success says nothing we need
// The desktop's eject may ask for a password or hang on a drive that does not answer:
// past this it is given up, as if it had refused.
constexpr int kDesktopEjectLimitMs = 30000;
std::atomic<int> g_desktop_limit_ms{kDesktopEjectLimitMs};

// Runs the desktop's eject (or what stands in for it), the window served meanwhile.
plat_dialog_outcome run_desktop_eject(const std::vector<std::string>& args, void (*pump)())
{
	return plat_run_dialog(args, kDesktopAnswerKeep, pump, g_desktop_limit_ms.load());
}
}  // namespace

int plat_set_desktop_eject_limit(int ms)
{
	return g_desktop_limit_ms.exchange(ms > 0 ? ms : kDesktopEjectLimitMs);
}

plat_drive_eject_fn plat_set_drive_eject_hook(plat_drive_eject_fn f)
{
	return g_drive_eject.exchange(f ? f : drive_eject);
}

int plat_eject(const std::string& path, plat_eject_report* report, void (*pump)())
{
	if (report) *report = plat_eject_report{};
	std::string mount_point, device;
	if (int e = plat_mount_of(path, mount_point, device)) return e;
	const int refused = g_drive_eject.load()(device, mount_point);
	if (refused == 0 || refused == ENODEV) return refused;
	std::vector<std::string> args = {kDesktopTool};
	args.insert(args.end(), std::begin(kDesktopEjectArgs), std::end(kDesktopEjectArgs));
	args.push_back(mount_point);
	const plat_dialog_outcome o = run_desktop_eject(args, pump);
	if (o.start_error) return refused;  // no desktop tool to ask
	if (report) {
		report->desktop_asked = true;
		report->desktop_status = o.status;
		report->desktop_said = o.error_line;
		report->desktop_timed_out = o.timed_out;
	}
	return o.status == 0 ? 0 : refused;
}

namespace {
// File systems of CD and DVD media.
const char* const kOpticalTypes[] = {"iso9660", "udf"};
// Mount points below these are removable media the desktop mounted.
const char* const kMediaPrefixes[] = {"/media", "/run/media", "/mnt"};
constexpr char kMountTable[] = "/proc/self/mountinfo";
constexpr char kMediaRootsVar[] = "KESTRIX_MEDIA_ROOTS";
constexpr char kEjectCommandVar[] = "KESTRIX_EJECT_COMMAND";
// Fields of a mountinfo line: the mount point is the fifth; the type follows the "-".
constexpr int kMountPointField = 4;
constexpr int kOctalEscapeLength = 4;  // "\040"

bool is_optical_type(const std::string& t)
{
	for (const char* o : kOpticalTypes)
		if (t == o) return true;
	return false;
}

// The kernel writes blanks, tabs, line feeds and backslashes in names as "\ooo".
std::string unescape_octal(const std::string& s)
{
	std::string out;
	for (size_t i = 0; i < s.size(); ++i) {
		if (s[i] == '\\' && i + kOctalEscapeLength <= s.size()) {
			int v = 0;
			bool ok = true;
			for (size_t k = i + 1; k < i + kOctalEscapeLength; ++k) {
				if (s[k] < '0' || s[k] > '7') ok = false;
				v = v * 8 + (s[k] - '0');
			}
			if (ok && v > 0 && v < 256) {
				out += static_cast<char>(v);
				i += kOctalEscapeLength - 1;
				continue;
			}
		}
		out += s[i];
	}
	return out;
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

bool exists(const std::string& p)
{
	struct stat st;
	return stat(p.c_str(), &st) == 0;
}

// The visible subfolders of `parent` (ending in "/"), sorted by name.
std::vector<std::string> subfolders(const std::string& parent)
{
	std::vector<std::string> out;
	DIR* d = opendir(parent.c_str());
	if (!d) return out;
	while (const dirent* e = readdir(d)) {
		if (e->d_name[0] == '.') continue;
		const std::string p = parent + e->d_name;
		if (is_folder(p)) out.push_back(p + "/");
	}
	closedir(d);
	std::sort(out.begin(), out.end());
	return out;
}

bool below(const std::string& point, const std::string& prefix)
{
	return point.size() > prefix.size() + 1 && point.compare(0, prefix.size(), prefix) == 0 && point[prefix.size()] == '/';
}

void add_root(std::vector<plat_volume_root>& roots, const std::string& root, bool optical)
{
	for (const plat_volume_root& r : roots)
		if (r.root == root) return;
	roots.push_back({root, optical});
}

std::string user_name()
{
	if (const char* u = std::getenv("USER"); u && *u) return u;
	if (const passwd* pw = getpwuid(getuid())) return pw->pw_name ? pw->pw_name : "";
	return "";
}
}  // namespace

std::vector<plat_mount> plat_parse_mountinfo(const std::string& text)
{
	std::vector<plat_mount> out;
	std::istringstream in(text);
	std::string line;
	while (std::getline(in, line)) {
		std::istringstream fields(line);
		std::vector<std::string> f;
		std::string w;
		while (fields >> w) f.push_back(w);
		const auto dash = std::find(f.begin(), f.end(), "-");
		if (static_cast<int>(f.size()) <= kMountPointField || dash == f.end() || dash + 1 == f.end() ||
		    dash - f.begin() <= kMountPointField)
			continue;
		out.push_back({unescape_octal(f[kMountPointField]), *(dash + 1)});
	}
	return out;
}

std::vector<plat_volume_root> plat_volume_roots_from(const plat_volume_sources& src)
{
	std::vector<plat_volume_root> roots;
	for (const plat_mount& m : plat_parse_mountinfo(src.mountinfo)) {
		bool media = false;
		for (const std::string& p : src.media_prefixes)
			if (below(m.point, p)) media = true;
		const bool optical = is_optical_type(m.fstype);
		if (media || optical) add_root(roots, with_slash(m.point), optical);
	}
	for (const std::string& parent : src.plain_parents)
		for (const std::string& sub : subfolders(with_slash(parent))) add_root(roots, sub, false);
	return roots;
}

std::vector<plat_volume_root> plat_volume_roots()
{
	if (const char* listed = std::getenv(kMediaRootsVar); listed && *listed) {
		// Only the folders named and their subfolders: a test or a folder copy of a
		// disc decides alone what is mounted.
		std::vector<plat_volume_root> roots;
		std::stringstream in(listed);
		std::string folder;
		while (std::getline(in, folder, ':')) {
			if (folder.empty()) continue;
			folder = with_slash(folder);
			if (!is_folder(folder)) continue;
			add_root(roots, folder, false);
			for (const std::string& sub : subfolders(folder)) add_root(roots, sub, false);
		}
		return roots;
	}
	plat_volume_sources src;
	std::ifstream table(kMountTable);
	std::stringstream text;
	text << table.rdbuf();
	src.mountinfo = text.str();
	for (const char* p : kMediaPrefixes) src.media_prefixes.push_back(p);
	const std::string user = user_name();
	src.plain_parents = {"/media/", "/mnt/"};
	if (!user.empty()) {
		src.plain_parents.push_back("/media/" + user + "/");
		src.plain_parents.push_back("/run/media/" + user + "/");
	}
	return plat_volume_roots_from(src);
}

std::string plat_install_dvd(const std::vector<plat_volume_root>& roots, const std::string& identity_file)
{
	for (const plat_volume_root& r : roots)
		if (exists(r.root + identity_file)) return r.root;
	for (const plat_volume_root& r : roots)
		if (r.optical) return r.root;
	return "";
}

std::string plat_volume_holding(const std::vector<plat_volume_root>& roots, const std::string& rel)
{
	if (rel.empty()) return "";
	for (const plat_volume_root& r : roots)
		if (exists(r.root + rel)) return r.root;
	return "";
}

std::string plat_volume_root_of(const std::vector<plat_volume_root>& roots, const std::string& path)
{
	const std::string p = with_slash(path);
	std::string best;
	for (const plat_volume_root& r : roots)
		if (p.compare(0, r.root.size(), r.root) == 0 && r.root.size() > best.size()) best = r.root;
	return best.empty() ? path : best;
}

int plat_eject_volume(const std::string& path, plat_eject_report* report, void (*pump)())
{
	if (report) *report = plat_eject_report{};
	const char* command = std::getenv(kEjectCommandVar);
	if (!command || !*command) return plat_eject(path, report, pump);
	std::string root = plat_volume_root_of(plat_volume_roots(), path);
	if (root.size() > 1 && root.back() == '/') root.pop_back();
	// It stands in for the desktop's eject, and is waited for the same way.
	const plat_dialog_outcome o = run_desktop_eject({command, root}, pump);
	if (o.start_error) return o.start_error;
	if (report) report->desktop_timed_out = o.timed_out;
	return o.status >= 0 ? o.status : EIO;
}
