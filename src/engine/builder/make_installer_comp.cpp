// The second half of a builder pass: one archive per collected file, the file-list
// lines with every earlier version, the split over DVDs, the files that left the
// product, the DVD identity file and the zipped file list.
#include <archive.h>
#include <archive_entry.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <vector>

#include "engine/builder/make_installer.h"
#include "engine/engine.h"
#include "runtime/hl_alert.h"
#include "runtime/hl_errors.h"
#include "runtime/hl_globals.h"
#include "runtime/io_utils.h"
#include "runtime/io_utils_zip.h"
#include "runtime/xmap.h"

namespace {
std::string fmt_f(const char* f, double v)
{
	char buf[64];
	std::snprintf(buf, sizeof buf, f, v);
	return buf;
}

// The installer looks for a path containing "Global Scenery" as a 7z archive and for
// every other path as a zip archive; the builder must produce exactly those names.
bool is_7z_path(const std::string& rel) { return rel.find("Global Scenery") != std::string::npos; }

// Makes every missing folder of `path`'s folder part below the masters root, so the
// archives of any DVD number have somewhere to go.
void make_parent_folders(const std::string& path)
{
	for (size_t p = dst_fold_base.size(); p < path.size(); ++p)
		if (path[p] == '/') make_folder(app_path + path.substr(0, p + 1));
}

void write_file_line(int platform, int version, float zip_kb, float size_kb, const std::string& sig,
                     const std::string& name)
{
	ouf << "FILE 0 " << platform << " " << version << " " << static_cast<int>(zip_kb) << " "
	    << static_cast<int>(size_kb) << " " << sig << " " << name << "\n";
}

int plugin_platform(const std::string& src)
{
	static const struct {
		const char* text;
		int code;
	} kPlugins[] = {
		{"All/Resources/plugins/VTLM.shlb", 1},           {"All/Resources/plugins/VTWidgets.shlb", 1},
		{"All/Resources/plugins/VTLM.framework/VTLM", 1}, {"All/Resources/plugins/VTWidgets.framework/VTWidgets", 1},
		{"All/Resources/plugins/VTLM.dll", 2},            {"All/Resources/plugins/VTWidgets.dll", 2},
		{"All/Resources/plugins/VTLM.so", 6},             {"All/Resources/plugins/VTWidgets.so", 6},
		{"All/Resources/plugins/ExtdeskMac.vtl", 1},      {"All/Resources/plugins/ExtdeskWin.vtl", 2},
		{"All/Resources/plugins/ExtdeskLin.vtl", 6},
	};
	for (const auto& p : kPlugins)
		if (src.find(p.text) != std::string::npos) return p.code;
	return 0;
}
}  // namespace

int file_to_7z(const std::string& src, const std::string& archive_path)
{
	struct stat st;
	if (lstat(src.c_str(), &st) != 0) return errno;
	const std::string leaf = src.substr(src.rfind('/') + 1);

	std::string data;
	if (S_ISLNK(st.st_mode)) {
		std::vector<char> buf(static_cast<size_t>(st.st_size) + 1);
		const ssize_t n = readlink(src.c_str(), buf.data(), buf.size());
		if (n < 0) return errno;
		data.assign(buf.data(), static_cast<size_t>(n));
	}

	struct archive* a = archive_write_new();
	if (!a) return ENOMEM;
	int result = 0;
	if (archive_write_set_format_7zip(a) != ARCHIVE_OK || archive_write_set_format_option(a, "7zip", "compression", "lzma2") != ARCHIVE_OK ||
	    archive_write_open_filename(a, archive_path.c_str()) != ARCHIVE_OK) {
		archive_write_free(a);
		return err_zip_create;
	}
	struct archive_entry* e = archive_entry_new();
	archive_entry_set_pathname(e, leaf.c_str());
	archive_entry_set_mtime(e, st.st_mtime, 0);
	if (S_ISLNK(st.st_mode)) {
		archive_entry_set_filetype(e, AE_IFLNK);
		archive_entry_set_perm(e, 0755);
		archive_entry_set_symlink(e, data.c_str());
		archive_entry_set_size(e, 0);
		if (archive_write_header(a, e) != ARCHIVE_OK) result = err_zip_write;
	} else {
		archive_entry_set_filetype(e, AE_IFREG);
		archive_entry_set_perm(e, st.st_mode & 07777);
		archive_entry_set_size(e, st.st_size);
		// A FIFO would wait for a writer and a device read without end: only a regular
		// file is packed, as for a zip archive.
		int fd = -1;
		if (open_regular_file(src, &fd) != 0)
			result = err_file_open_read;
		else {
			if (archive_write_header(a, e) != ARCHIVE_OK) result = err_zip_write;
			std::vector<char> buf(1 << 20);
			while (result == 0) {
				const ssize_t n = read(fd, buf.data(), buf.size());
				if (n < 0) result = err_file_open_read;
				if (n <= 0) break;
				if (archive_write_data(a, buf.data(), static_cast<size_t>(n)) != n) result = err_zip_write;
			}
			close(fd);
		}
	}
	archive_entry_free(e);
	if (archive_write_close(a) != ARCHIVE_OK && result == 0) result = err_zip_write;
	archive_write_free(a);
	return result;
}

void comp_file(std::string src)
{
	const std::string rel = src.substr(src_fold.size());
	std::string folder;
	get_path_with_path(folder, rel);
	const std::string name = rel.substr(folder.size());

	if (src.find(str_win_fold) != std::string::npos && src.find(".exe") != std::string::npos) {
		const int r = make_file_large_address_aware(app_path + src);
		if (r != 0)
			builder_fatal("Oops! We could not make a windows exe file large-address-aware!", fmt_f("error# %f", r), src);
	}

	const bool seven = is_7z_path(rel);
	const std::string archive = dst_folder + sim_name + "/" + rel + (seven ? ".7z" : ".zip");
	make_parent_folders(archive);
	if (seven) {
		// A 7z archive prepared beside its source goes onto the DVD as it is.
		if (file_exists(src + ".7z")) {
			if (link((app_path + src + ".7z").c_str(), (app_path + archive).c_str()) != 0)
				builder_fatal("ERROR: could not make hard link!", src + ".7z", archive);
		} else {
			const int r = file_to_7z(app_path + src, app_path + archive);
			if (r != 0) builder_fatal("I could not zip a file!", error_str(r), src, archive);
		}
	} else {
		const int r = file_to_zip(src, archive);
		if (r != 0) builder_fatal("I could not zip a file!", error_str(r), src, archive);
	}

	const int zip_bytes = APL_file_size(archive);
	if (zip_bytes < 0) builder_fatal("ERROR: could not get file size!", archive);
	struct stat st;
	int src_bytes = -1;
	// A link's size is that of its target text, which is what its archive holds.
	if (lstat((app_path + src).c_str(), &st) == 0) src_bytes = S_ISLNK(st.st_mode) ? static_cast<int>(st.st_size) : APL_file_size(src);
	if (src_bytes < 0) builder_fatal("ERROR: could not get src file size!", src);
	const float zip_kb = static_cast<float>(static_cast<int>(zip_bytes * 0.001));
	const float size_kb = static_cast<float>(static_cast<int>(src_bytes * 0.001));
	zip_size_dvd += zip_kb;

	// A file whose digest fails cannot be listed: its line would carry another file's
	// digest, and every installer would see the file as changed for ever.
	std::string sig;
	if (calc_file_md5(src, sig) != 0) builder_fatal("Could not MD5 file!", src);

	if (folder != prev_dir) {
		prev_dir = folder;
		ouf << "\nDIR " << folder << "\n";
	}

	const std::string top = folder.substr(0, folder.find('/'));
	int platform;
	if (folder.find('/') == std::string::npos)
		platform = -1;
	else if (top == ALL_str)
		platform = 0;
	else if (top == APL_str)
		platform = 1;
	else if (top == WIN_str)
		platform = 2;
	else if (top == LIN_str)
		platform = 3;
	else
		platform = -1;
	if (platform < 0) builder_fatal("WHAT THE FUCK? I CAN'T TELL WHAT TYPE OF FILE THIS IS!", src);
	if (platform == 0 && src.find("All/Resources/plugins/") != std::string::npos) platform = plugin_platform(src);

	std::string key = rel;
	chop_platform(key, platform);
	auto it = sim_info_index.find(key);
	if (it != sim_info_index.end()) {
		file_history_struct& h = sim_info[static_cast<size_t>(it->second)];
		for (const file_version_struct& v : h) {
			if (v.sig == sig || v.sig == "GONE") continue;
			if (name.empty())
				builder_fatal("0-size filename!", "Now how am I supposed to deal with this?", "This is in the OLD file list.");
			write_file_line(v.platform, v.version, v.zip_kb, v.size_kb, v.sig, name);
		}
		h.front().install = 0;
	}
	if (name.empty()) builder_fatal("0-size filename!", "Now how am I supposed to deal with this?", "This is in the NEW file loop");
	write_file_line(platform, build_version, zip_kb, size_kb, sig, name);

	if (zip_size_dvd > dvd_capacity_kb) {
		zip_size_dvd = 0.0f;
		++dvd_now;
		ouf << "DISK " << dvd_now << "\n";
		set_dest_dvd(dvd_now);
	}

	++num_files_com;
	if (num_files_com % 20 == 0)
		builder_progress("reg: " + std::to_string(reg) + ": total files to compress: " + std::to_string(num_files_use) +
		                     ". now doing: " + std::to_string(num_files_com) + ".",
		                 archive);
}

void builder_write_masters(const std::string& list_path)
{
	set_dest_dvd(dvd_now);
	for (const std::string& p : comp_paths) make_folder(app_path + p);
	for (const std::string& f : comp_files) comp_file(f);

	for (file_history_struct& h : sim_info) {
		if (h.empty() || !h.front().install) continue;
		const std::string path = h.front().path;
		if (!is_good_file(src_fold + path, 0, 0)) continue;
		std::string folder;
		get_path_with_path(folder, path);
		const std::string name = path.substr(folder.size());
		if (folder != prev_dir) {
			prev_dir = folder;
			ouf << "\nDIR " << folder << "\n";
		}
		for (const file_version_struct& v : h) write_file_line(v.platform, v.version, v.zip_kb, v.size_kb, v.sig, name);
		if (h.back().sig != "GONE") write_file_line(h.back().platform, build_version, 0.0f, 0.0f, "GONE", name);
	}
	ouf.close();
	// A file list that did not reach the disk whole must not be shipped.
	if (ouf.fail()) builder_fatal("I could not write the directory file!", list_path, error_str(errno));

	const std::string id_path = dst_fold_base + "disk_0/dvd_version.txt";
	if (!ouf_open(id_path, 10001, 900, "no-copyright-string")) builder_fatal("I could not write the DVD version file!", id_path);
	ouf << "DVD\n\n" << "VERSION " << sim_name << "\n";
	ouf.close();
	if (ouf.fail()) builder_fatal("I could not write the DVD version file!", id_path);

	const int zr = file_to_zip(list_path, list_path + ".zip");
	const int dr = delete_file(list_path);
	if (zr != 0) builder_fatal("zip!=0", list_path, list_path + ".zip");
	if (dr != 0) builder_fatal("del!=0", list_path);
}
