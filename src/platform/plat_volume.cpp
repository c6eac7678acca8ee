#include "platform/plat_volume.h"

#include <fcntl.h>
#include <linux/cdrom.h>
#include <mntent.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

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

int plat_mount_of(const std::string& path, std::string& mount_point, std::string& device)
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
		found = true;
	}
	endmntent(m);
	return found ? 0 : ENOENT;
}

int plat_is_optical(const std::string& path)
{
	std::string mount_point, device;
	if (plat_mount_of(path, mount_point, device) != 0) return 0;
	const int fd = open_optical(device);
	if (fd < 0) return 0;
	close(fd);
	return 1;
}

int plat_eject(const std::string& path)
{
	std::string mount_point, device;
	if (int e = plat_mount_of(path, mount_point, device)) return e;
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
