#pragma once
// Helpers for the engine's choosing, folder and install tests: a file model built in
// code, digests, and install DVDs built from files with independent archivers.
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <sched.h>

#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "engine/install.h"
#include "engine_test_util.h"
#include "runtime/hl_globals.h"
#include "runtime/io_utils.h"
#include "runtime/io_utils_zip.h"
#include "runtime/rec_stg.h"
#include "support/test_env.h"

namespace kx_install_test {

using kx_engine_test::as_scanned;
using kx_engine_test::md5_of;

// A version of a file; the history's last one is the wanted version.
inline file_version_struct version(const std::string& path, const std::string& sig, int disk = 0, float size_kb = 1)
{
	file_version_struct v;
	v.platform = 0;
	v.version = 91001;
	v.zip_kb = size_kb;
	v.size_kb = size_kb;
	v.sig = sig;
	v.path = path;
	v.disk = disk;
	return v;
}

// Appends a history whose wanted version is `wanted`, after the given older versions.
inline file_version_struct& add_history(const file_version_struct& wanted, std::vector<file_version_struct> older = {})
{
	older.push_back(wanted);
	sim_info.push_back(older);
	return sim_info.back().back();
}

// A scenery tile version: global, of the tile its name gives.
inline file_version_struct& add_tile(const std::string& path, const std::string& sig, int lat_band, int lon_band,
                                     const std::string& sig_have, int disk = 0)
{
	file_version_struct v = version(path, sig, disk);
	v.is_global = 1;
	v.lat_band = lat_band;
	v.lon_band = lon_band;
	v.sig_have = sig_have;
	v.have = sig_have == sig;
	return add_history(v);
}

// The engine's shared state back to a clean start, for one test.
inline void reset_engine_state()
{
	sim_info.clear();
	set_install_filter(1, 1);
	stg.target_os = 3;
	stg.log_actions = 0;
	for (int& s : stg.scenery_selected) s = 1;
	dest_dir_path.clear();
	temp_path.clear();
	install_name = "Kestrix 9";
	dvd_path.clear();
	current_disk = 0;
	want_file_disk = 0;
	std::string drop;
	install_files_get_error(drop);
}

inline bool exists(const std::string& p)
{
	struct stat st;
	return lstat(p.c_str(), &st) == 0;
}

inline bool is_dir(const std::string& p)
{
	struct stat st;
	return lstat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

inline std::string quote(const std::string& s)
{
	std::string q = "'";
	for (char c : s) {
		if (c == '\'') q += "'\\''";
		else q += c;
	}
	return q + "'";
}

inline int run(const std::string& cmd)
{
	return std::system((cmd + " >/dev/null 2>&1").c_str());
}

enum class archiver { info_zip, ours, sevenz };

// One file of a DVD master: its content and how it is archived.
struct dvd_file {
	std::string path;     // file-list path, platform folder first
	std::string content;  // file bytes, or the link text when `link` is set
	int disk = 0;
	archiver kind = archiver::info_zip;
	mode_t mode = 0644;
	time_t mtime = 1500000000;
	bool link = false;
};

// Writes `f` as an archive at dvd_root + "disk_<n>/" + install_name + "/" + path +
// suffix (the layout of an install DVD) and returns the archive's path. `work` is a
// scratch folder.
inline std::string put_on_dvd(const std::string& dvd_root, const std::string& work, const dvd_file& f)
{
	const std::string leaf = f.path.substr(f.path.rfind('/') + 1);
	const std::string src_dir = work + "src_" + std::to_string(std::rand()) + "/";
	kx_test::write_file(src_dir + ".keep", "");
	const std::string src = src_dir + leaf;
	if (f.link) {
		symlink(f.content.c_str(), src.c_str());
	} else {
		kx_test::write_file(src, f.content);
		chmod(src.c_str(), f.mode);
		struct timeval tv[2] = {{f.mtime, 0}, {f.mtime, 0}};
		utimes(src.c_str(), tv);
	}
	const bool sevenz = f.path.find("Global Scenery") != std::string::npos;
	const std::string archive =
	    dvd_root + "disk_" + std::to_string(f.disk) + "/" + install_name + "/" + f.path + (sevenz ? ".7z" : ".zip");
	kx_test::write_file(archive + ".tmp", "");
	unlink((archive + ".tmp").c_str());
	if (sevenz)
		run("bsdtar -C " + quote(src_dir) + " --format 7zip -cf " + quote(archive) + " " + quote(leaf));
	else if (f.kind == archiver::info_zip)
		run("cd " + quote(src_dir) + " && zip -q -X -y " + quote(archive) + " " + quote(leaf));
	else
		file_to_zip(src, archive);
	return archive;
}

// A fresh DVD install set-up in `env`: DVD masters under dvd/, the install folder inst/
// and the private temporary folder.
struct run_setup {
	std::string dvd_root;
	std::string work;
	explicit run_setup(const kx_test::TempEnv& env)
	{
		reset_engine_state();
		// The unpackers call mktime on several pool threads. With TZ unset glibc
		// re-reads the zone name on every call under a lock of its own that the
		// thread sanitizer cannot see; naming the same zone explicitly, read once
		// here, keeps the sanitizer's view clean without changing any time.
		setenv("TZ", ":/etc/localtime", 0);
		tzset();
		dvd_root = env.path("dvd/");
		work = env.path("work/");
		dest_dir_path = env.path("inst/");
		get_OS_abs_path((os_dir_type)4, temp_path);
		dvd_path = dvd_root + "disk_0/";
	}
	void insert_disk(int disk)
	{
		current_disk = disk;
		dvd_path = dvd_root + "disk_" + std::to_string(disk) + "/";
	}
};

// Puts the files on their DVDs and adds their histories as new files to install.
inline void master(const run_setup& s, const std::vector<dvd_file>& files)
{
	for (const dvd_file& f : files) {
		put_on_dvd(s.dvd_root, s.work, f);
		file_version_struct v = version(f.path, md5_of(f.content), f.disk, (float)f.content.size() * 0.001f);
		v.sig_have = "NONE";
		add_history(v);
	}
}

// Steps the run like the install screen until it returns something other than busy.
inline int step_until_done(int& cursor)
{
	for (;;) {
		const int r = install_files(cursor, current_disk);
		if (r != 0) return r;
		sched_yield();
	}
}

inline std::string random_bytes(size_t n, unsigned seed)
{
	std::string s(n, '\0');
	unsigned x = seed * 2654435761u + 1;
	for (char& c : s) {
		x = x * 1664525u + 1013904223u;
		c = (char)(x >> 24);
	}
	return s;
}

}  // namespace kx_install_test
