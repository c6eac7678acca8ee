#pragma once
// Removable discs.
#include <string>

// The mount point and device of the mounted file system that holds the existing `path`.
// Returns 0 or errno.
int plat_mount_of(const std::string& path, std::string& mount_point, std::string& device);
// 1 when `path` lies on a CD or DVD drive, else 0.
int plat_is_optical(const std::string& path);
// Ejects the disc holding `path`: the drive's eject request, and when the drive refuses
// while the disc is mounted, an unmount and a second request. A path that is not on a
// CD or DVD drive gives ENODEV and nothing changes. Returns 0 or errno.
int plat_eject(const std::string& path);
