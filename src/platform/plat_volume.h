#pragma once
// Removable discs.
#include <string>
#include <vector>

// The mount point and device (and, when asked, the file-system type) of the mounted
// file system that holds the existing `path`. Returns 0 or errno.
int plat_mount_of(const std::string& path, std::string& mount_point, std::string& device,
                  std::string* fstype = nullptr);

// Whether the folder `root` sits on CD or DVD media, and where the test stopped when it
// could not tell: the mount that holds it, its device, the system's entry for that
// device, then that entry and each device it belongs to in turn.
enum plat_disc_step {
	plat_disc_yes,           // the device or one it belongs to is a CD or DVD drive
	plat_disc_no,            // none of them is
	plat_disc_no_mount,      // the mount holding the folder is unknown (code: errno)
	plat_disc_no_device,     // the mount names no device
	plat_disc_network,       // a network file system
	plat_disc_not_a_device,  // what the mount names is not a block device
	plat_disc_unlisted,      // the system lists no such device
	plat_disc_no_parents,    // the devices it belongs to cannot be read (code: errno)
};
struct plat_disc_answer {
	plat_disc_step step;
	int code;
};
plat_disc_answer plat_disc_of(const std::string& root);
// From a device's folder among the system's devices (under /sys/devices), it and each
// folder above it in turn: 1 when one is a SCSI device of the CD-ROM type (the kind
// every Linux CD and DVD drive is), else 0.
int plat_disc_in_devices(const std::string& device_folder);

// What an eject did beyond asking the drive, for the caller's log line.
struct plat_eject_report {
	bool desktop_asked = false;  // the drive refused and the desktop's eject ran
	int desktop_status = -1;     // its exit status; -1 when it did not exit
	std::string desktop_said;    // the first line of its errors that is not blank
	bool desktop_timed_out = false;  // it did not answer within the time limit and was ended
};

// Ejects the disc holding `path`: the drive's eject request, and when the drive refuses
// while the disc is mounted, an unmount and a second request. When the drive still
// refuses (a desktop mounts discs through udisks, which the user may not unmount by
// hand), the desktop is asked: `gio mount --eject <mount point>`, found on PATH. A path
// that is not on a CD or DVD drive gives ENODEV and nothing changes. Returns 0, or the
// drive's errno when the disc stayed in. `report`, when given, says what the desktop did.
// While the desktop is asked, `pump` (when set) serves the caller's window about every
// 20 ms; a desktop that has not answered within the time limit (30 s) is ended and
// counts as a refusal.
int plat_eject(const std::string& path, plat_eject_report* report = nullptr, void (*pump)() = nullptr);
// Sets the desktop eject's time limit in milliseconds (0 or less: the usual 30 s), for
// tests that cannot wait that long. Returns the limit before.
int plat_set_desktop_eject_limit(int ms);

// The drive's part of an eject: asks the drive behind `device` to eject, unmounting
// `mount_point` and asking again when it refuses. Returns 0, ENODEV when the device is
// no CD or DVD drive, or the errno of the refusal. Tests stand in for the drive with a
// hook; null restores the drive's own. Returns the hook installed before.
using plat_drive_eject_fn = int (*)(const std::string& device, const std::string& mount_point);
plat_drive_eject_fn plat_set_drive_eject_hook(plat_drive_eject_fn f);

// ---- Mounted volumes
// A volume is a folder that may hold a disc's contents: a mounted file system under the
// media folders or of a disc's type, or a plain folder where media is kept (a copy of a
// disc in a folder works like the disc). KESTRIX_MEDIA_ROOTS (folders separated by ":")
// replaces the list by those folders and their subfolders.

// One mount of the mount table.
struct plat_mount {
	std::string point;   // the mount point, escapes undone
	std::string fstype;  // the file-system type
};
// The mounts of a /proc/self/mountinfo text, in its order. Lines it cannot read are skipped.
std::vector<plat_mount> plat_parse_mountinfo(const std::string& text);

// One volume: its root folder, ending in "/", and whether it is a disc's file system.
struct plat_volume_root {
	std::string root;
	bool optical = false;
};

// Where the volume list comes from; plat_volume_roots fills it from this machine.
struct plat_volume_sources {
	std::string mountinfo;                    // the mount table's text
	std::vector<std::string> media_prefixes;  // mounts below these count ("/media"...)
	std::vector<std::string> plain_parents;   // their subfolders count ("/media/"...)
};
// The volumes: the mounts below a media prefix or of a disc's type (table order), then
// the subfolders of the plain parents (sorted by name), each root once.
std::vector<plat_volume_root> plat_volume_roots_from(const plat_volume_sources& src);
// The volumes of this machine (or of KESTRIX_MEDIA_ROOTS when set).
std::vector<plat_volume_root> plat_volume_roots();

// The install disc: the first volume holding `identity_file` at its root, else the first
// volume on a disc's file system (so that a disc can still be told it is not ours).
// Returns its root ending in "/", or "" when there is none.
std::string plat_install_dvd(const std::vector<plat_volume_root>& roots, const std::string& identity_file);
// The first volume holding the relative path `rel`; its root ending in "/", or "".
std::string plat_volume_holding(const std::vector<plat_volume_root>& roots, const std::string& rel);
// The root of the volume among `roots` that holds `path` (the longest that contains
// it), or `path` itself when none does.
std::string plat_volume_root_of(const std::vector<plat_volume_root>& roots, const std::string& path);

// Ejects the volume holding `path`: when KESTRIX_EJECT_COMMAND is set, that program runs
// with the volume's root as its one argument and its exit status is the result (EIO
// when it did not exit), waited for as plat_eject waits for the desktop: `pump` served,
// ended past the time limit (report->desktop_timed_out); otherwise plat_eject (which
// fills `report`). Returns 0 or an error code.
int plat_eject_volume(const std::string& path, plat_eject_report* report = nullptr, void (*pump)() = nullptr);
