#pragma once
// The framework's file layer: paths and well-known folders, file and folder operations,
// and file digests. Paths use "/" only and folder paths end in "/". Every operation
// returns 0 or an error code (an errno value or an own code, see hl_errors.h); tests
// return a truth value. Nothing here raises an alert except where noted.
#include <md5.h>

#include <string>
#include <vector>

#include "platform/plat_fs.h"

struct plat_eject_report;
struct stat;

// ---- Paths and well-known folders

// The well-known folders get_OS_abs_path finds.
enum os_dir_type {
	os_dir_this_app = 0,      // the folder holding the installer's bundle (plat_bundle_of)
	os_dir_app_bundle = 1,    // the bundle, or the executable when it is in none
	os_dir_desktop = 2,
	os_dir_default_apps = 3,  // offered for new installs: the desktop, as 2
	os_dir_temp = 4,          // the installer's private temporary folder
	os_dir_prefs = 5          // the user's preferences folder
};

// Writes the folder's absolute path into `out` (folders end in "/"). Returns 0, or an
// error code with `out` unchanged.
int get_OS_abs_path(int which, std::string& out);

// The path of `ref` without a final "/". Returns 0, or -1 with `out` unchanged.
int FSRefToFilePath(const FSRef* ref, std::string& out);
// With `name` null, `ref` becomes the existing object at `path`; otherwise the existing
// folder holding the path's leaf, and *name the leaf (a folder leaf keeps its "/").
// Returns 0 or errno.
int FilePathToFSRefAndName(const char* path, FSRef* ref, std::string* name);
// Rewrites a path in place in the colon-separated form ("/a/b/" becomes "a:b:").
void ConvertPathToCFM(std::string& path);

// A loaded shared library (the loader's handle), the stand-in for a framework bundle.
using CFBundleRef = void*;
// Loads the shared library `name` (a name without a folder, or a path inside them)
// from the system's library folders, or as the loader knows it. Returns 0 with the
// library in *out (or unloaded again when out is null), or the failing step's code:
// -50 the name is no text, -120 no library folders, -36 none to look in, -43 the name
// leads out of them, -54 no library of that name, -37 it cannot be loaded. With
// alert_flag set, a failure is a quitting alert: its message, two empty lines, `name`.
int load_bundle_by_filename(const char* name, int alert_flag, CFBundleRef* out);

// Case-correcting path matching: off, and nothing in this program turns it on.
extern int g_case_sensitive;

// Corrects the letter case of the components of `path` in place against the disk.
void findPath(char* path);

// Where the last failing operation that records it failed (log lines print them).
extern const char* sErrFile;
extern int sErrLine;

// ---- File and folder operations

// Opens `path` (a link is followed) for reading, when it is a regular file. What a
// disc, a download or a copy holds may be anything: the open never waits (a FIFO has
// no writer to wait for) and only a regular file is handed on, so nothing reads a
// device or hangs on a FIFO. Returns 0 with the descriptor in *fd (blocking again, to
// be closed by the caller) and its status in *st when st is given; or errno with *fd
// unchanged: the open's own, EISDIR for a folder, ENODEV for a FIFO, device or socket.
int open_regular_file(const std::string& path, int* fd, struct stat* st = nullptr);
// The same with `flags`: an access mode with O_CREAT, O_APPEND, O_NOFOLLOW as wanted
// (never O_TRUNC, which the caller does after this check if it wants); a file it makes
// gets mode 0666 less the umask. A FIFO opened for writing gives ENXIO at once when
// nobody reads it, a link under O_NOFOLLOW ELOOP.
int open_regular_file_as(const std::string& path, int flags, int* fd, struct stat* st = nullptr);
// Copies one file's bytes and permission bits; the old destination is replaced only
// once the copy is complete. The source must be a regular file (open_regular_file).
// Returns 0, or the errno of the step that failed: the source's open, a destination
// that is a folder (EISDIR), the private output file's creation, a read or a write.
int copy_file(const std::string& src, const std::string& dst);
// Copies a file or a folder tree (names beginning with "." are left out).
int copy_file_recursive(const std::string& src, const std::string& dst);
// Removes a file, or an empty folder when the path ends in "/". 2 for an empty path.
int delete_file(const std::string& path);
// Removes a folder tree, depth first; `folder` ends in "/". Links are removed, never
// followed; a folder on another file system than `folder` is never entered (its mount
// point's rmdir fails, and that error is the result). 0 or the first error.
int recursive_delete_folder(const std::string& folder);
// Renames folder + old_name to folder + new_name.
int rename_file(const std::string& folder, const std::string& old_name, const std::string& new_name);
// Creates one folder (its parent must exist), mode 0755; one final "/" is ignored.
int make_folder(const std::string& path);

// Sets a file's mode to exactly 0755. A symbolic link is left alone.
int make_file_executable(const char* path);
// 1 when the path (app_path in front) is a symbolic link; its link text then goes into
// *target when target is not null.
int is_sim_link(const char* path, std::string* target);

// 1 when the path exists and is not a folder / is a folder. Both follow links.
int file_exists(const std::string& path);
int dir_exists(const std::string& path);
// The low 32 bits of the size of an existing non-folder, else -1.
int APL_file_size(const std::string& path);

// Lists the entries of `folder` (ending in "/") that `filter` takes, sorted by name
// ignoring case; `types` gets 1 for a folder or the code of a known extension, else 0.
int opensave_getitems(const std::string& folder, int filter, std::vector<std::string>& names,
                      std::vector<int>& types);
// Filter 21 lists the command registry; the shell installs the lister that reads it.
using opensave_cmd_lister_fn = void (*)(const std::string& prefix, std::vector<std::string>& names);
opensave_cmd_lister_fn opensave_set_cmd_lister(opensave_cmd_lister_fn f);

// Total and free bytes of the volume that holds `path`'s nearest existing folder.
int get_free_space(const std::string& path, unsigned long long* total, unsigned long long* free_bytes);
// Ejects the disc holding `path`; a path not on a CD or DVD changes nothing (ENODEV).
// KESTRIX_EJECT_COMMAND, when set, runs instead with the volume's root. `report`, when
// given, says whether the desktop was asked and what it said, or that it did not answer
// in time. The window is served through the tool pump while the desktop is asked.
int eject_dvd(std::string path, plat_eject_report* report = nullptr);
// 1 when the volume numbered `volume` in the list of mounted volumes (0 first, in the
// order plat_volume_roots gives them) sits on CD or DVD media, else 0. Why it could not
// tell goes to standard output.
int APL_is_dvd_disk(short volume);

// Replaces the running installer by the program `app` (a bundle runs the program inside
// it, see plat_bundle_executable), passing "-path" and `arg` when
// `arg` is not empty. Once the program runs, the installer finishes up and exits;
// when it cannot be started the error code is returned and the installer goes on.
int launch_app(const std::string& app, const std::string& arg);
// What launch_app does last after a successful start: exit with this status. Tests
// replace it so that a launch can be observed in-process.
using launch_exit_fn = void (*)(int status);
launch_exit_fn launch_app_set_exit(launch_exit_fn f);

// Sets the large-address-aware flag of a Windows executable. Returns 0, 5, 20013,
// 20014 or errno.
int make_file_large_address_aware(std::string path);

// File digests. A symbolic link is digested as its link text, never as what it points
// to; a regular file is read in one pass, never mapped. Returns 0 with the 32-character
// lower-case digest in `digest`, or 20006 when the file yields no data (it is missing,
// no regular file, a read fails, or its length changes while it is read), leaving
// `digest` as it was. Never alerts: the checksum pool calls it on several worker
// threads at once.
int calc_file_md5(const std::string& path, std::string& digest);
// Called on the digesting thread once a file is open and its length taken, before its
// bytes are read, with the path calc_file_md5 was given: a test changes the file there.
// Set it only while no digest runs. Returns the hook it replaces (null: none).
using digest_opened_fn = void (*)(const std::string& path);
digest_opened_fn calc_file_md5_set_opened_hook(digest_opened_fn f);
// Adds `length` bytes to a context MD5Init prepared, in pieces of at most 65535 bytes.
void MD5UpdateWide(MD5_CTX* context, const unsigned char* data, unsigned int length);
