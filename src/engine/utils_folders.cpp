// Before any archive is unpacked: make the folders the chosen files land in, and
// delete what the new installation no longer has, with the folders this leaves empty.
#include <errno.h>

#include <set>
#include <vector>

#include "engine/install.h"
#include "engine/install_paths.h"
#include "runtime/hl_alert.h"
#include "runtime/hl_errors.h"
#include "runtime/hl_globals.h"
#include "runtime/hl_string.h"
#include "runtime/io_utils.h"
#include "runtime/rec_stg.h"
#include "runtime/translate.h"

void make_dir_error(std::string path, int code)
{
	__DIDIVI_alert(0,
	               UTL_translate_string("I am unable to install or update Kestrix. An error occurred while creating "
	                                    "new folders. Make sure you are installing to a directory that you have "
	                                    "access to!"),
	               UTL_translate_string("Error: ") + error_str(code),
	               UTL_translate_string("Install Location: ") + STR_utf8_to_font(dest_dir_path),
	               UTL_translate_string("Install Path:") + STR_utf8_to_font(path), t_alert, "utils", __LINE__);
}

// make_folder through the error filter: 0 when the folder is there afterwards.
static int make_one_folder(const std::string& path)
{
	const int r = make_folder(path);
	if (show_make_dir_err(r)) {
		make_dir_error(path, r);
		return r;
	}
	return 0;
}

// A folder below the install folder, with the folders it lies in, never made through a
// link: 0 when it is there afterwards or was refused for lying through one.
static int make_inside(const std::string& rel)
{
	const int r = walk_folder_chain(dest_dir_path, rel, true);
	if (r == ELOOP) {
		xer << "make_dirs: refusing the folder " << dest_dir_path + rel << ", it lies through a link.\n";
		return 0;
	}
	if (show_make_dir_err(r)) {
		make_dir_error(dest_dir_path + rel, r);
		return r;
	}
	return 0;
}

namespace {
// The product's working folders, made by every run in this order.
const char* const kWorkingFolders[] = {"Output",          "Output/FMS plans", "Output/logbooks",
                                       "Output/movies",   "Output/situations", "Resources",
                                       "Resources/preferences"};

// Adds the folders a file path of the list lies in: a/b/c.txt adds a/b and a.
void add_folders_of(const std::string& rel, std::set<std::string>& folders)
{
	for (size_t slash = rel.rfind('/'); slash != std::string::npos && slash > 0; slash = rel.rfind('/', slash - 1))
		folders.insert(rel.substr(0, slash));
}
}  // namespace

std::set<std::string> ENG_product_folders()
{
	std::set<std::string> folders(std::begin(kWorkingFolders), std::end(kWorkingFolders));
	for (const file_history_struct& h : sim_info) {
		if (h.empty()) continue;
		std::string rel = h.back().path;
		trim_dest_folder(rel);
		if (path_stays_inside(rel)) add_folders_of(rel, folders);
	}
	return folders;
}

int make_dirs()
{
	// 1. The install folder and its parents, from the outermost in.
	std::string p = dest_dir_path;
	if (!p.empty() && p.back() == '/') p.pop_back();
	const size_t first = p.find('/');
	if (first != std::string::npos)
		for (size_t slash = p.find('/', first + 1); slash != std::string::npos; slash = p.find('/', slash + 1))
			if (int r = make_one_folder(p.substr(0, slash))) return r;
	if (int r = make_one_folder(p)) return r;

	// 2. The folders of the files to install. In ascending order a folder comes
	// before the folders inside it.
	std::set<std::string> folders;
	// Every folder of the files taking part, looked at for the temporary files that a
	// run ended by force left behind; and the one the product's settings are saved in.
	std::set<std::string> sweep = {"", "Resources/preferences/"};
	for (size_t i = 0; i < sim_info.size(); ++i) {
		const file_version_struct& v = sim_info[i].back();
		if (!want_this_f((int)i, (int)sim_info[i].size() - 1)) continue;
		std::string rel = v.path;
		trim_dest_folder(rel);
		// A path that would leave the install folder gets no folders; its file
		// fails when it is unpacked.
		if (!path_stays_inside(rel)) continue;
		sweep.insert(ENG_folder_of(rel));
		if (v.install) add_folders_of(rel, folders);
	}

	// 3. Make them, never through a link that stands inside the install folder.
	for (const std::string& f : folders)
		if (int r = make_inside(f)) return r;
	for (const std::string& f : sweep)
		if (walk_folder_chain(dest_dir_path, f, false) == 0) remove_temp_leftovers(dest_dir_path + f);

	// 4. The product's working folders.
	for (const char* w : kWorkingFolders)
		if (int r = make_inside(w)) return r;

	// 5. The plug-in bundles' version and resource entries arrive as links; an old
	// real folder standing there is moved aside so the link can take its place. Only
	// inside real folders: through a link the rename would move someone else's folder.
	static const struct {
		const char* folder;
		const char* name;
	} aside[] = {{"Resources/plugins/VTLM.framework/Versions/", "Current"},
	             {"Resources/plugins/VTWidgets.framework/Versions/", "Current"},
	             {"Resources/plugins/VTLM.framework/", "Resources"},
	             {"Resources/plugins/VTWidgets.framework/", "Resources"}};
	for (const auto& a : aside) {
		const std::string folder = dest_dir_path + a.folder;
		if (walk_folder_chain(dest_dir_path, a.folder, false) != 0 || !dir_exists(folder)) continue;
		if (!is_sim_link((folder + a.name).c_str(), nullptr)) rename_file(folder, a.name, std::string("_") + a.name);
	}
	return 0;
}

namespace {
// The log lines of a removal.
constexpr char kDeletingLine[] = "DELETING  file ";
constexpr char kResultPart[] = ", with result=";
constexpr char kLineEnd[] = ".\n";
constexpr char kCouldNotDelete[] = "Could not delete ";
constexpr char kThroughLinkStart[] = "the folder ";
constexpr char kThroughLinkEnd[] = " on its way is a symbolic link, and nothing is removed through one";
constexpr char kLeavesTheCopy[] = "its path leaves the install folder";
}  // namespace

ENG_removal ENG_remove_listed_file(const std::string& rel, const std::string& full, const char* log_prefix)
{
	ENG_removal out;
	std::string link;
	out.code = ENG_reach_inside(rel, false, &link);
	out.reached = out.code == 0;
	if (out.reached) out.code = delete_file(full);
	if (stg.log_actions || !out.reached || out.failed())
		xer << log_prefix << kDeletingLine << full << kResultPart << out.code << kLineEnd;
	if (!out.failed()) return out;

	// The file is still there: the log says which and why, so that a user reading it
	// knows what to remove by hand. One statement, so that it stays one line.
	xer_line line = xer << kCouldNotDelete;
	line << full << ": ";
	if (!out.reached && out.code == ELOOP)
		line << kThroughLinkStart << link << kThroughLinkEnd;
	else if (!out.reached && out.code == EINVAL)
		line << kLeavesTheCopy;
	else
		line << error_str(out.code);
	line << kLineEnd;
	return out;
}

int delete_files()
{
	std::set<std::string> folders;
	int failed = 0;
	for (file_history_struct& h : sim_info) {
		file_version_struct& v = h.back();
		if (!v.remove) continue;
		std::string rel = v.path;
		trim_dest_folder(rel);
		const std::string full = dest_dir_path + rel;
		stg.file_state = 0;

		// Nothing is deleted outside the install folder or through a link inside it.
		const ENG_removal r = ENG_remove_listed_file(rel, full, "");
		if (r.reached) {
			for (std::string f = ENG_folder_of(full); f.size() > dest_dir_path.size(); f = ENG_folder_of(f))
				folders.insert(f);
		}
		if (show_del_err(r.code))
			__DIDIVI_alert(0, "Could not delete a file that I no longer want to have!", error_str(r.code),
			               STR_utf8_to_font(full), "", t_exit, "utils", __LINE__);
		// A file that could not be removed is still there: the map and the next run see
		// it as installed, and the run reports an error instead of success.
		if (r.failed()) {
			++failed;
			continue;
		}
		v.have = 0;
		v.sig_have = "NONE";
	}

	// Inner folders first: descending order puts a folder after those inside it.
	for (auto it = folders.rbegin(); it != folders.rend(); ++it) {
		std::vector<std::string> names;
		std::vector<int> kinds;
		if (opensave_getitems(*it, 0, names, kinds) != 0) continue;
		const int r = delete_file(*it);
		if (stg.log_actions) xer << "cleanup: DELETING  file " << *it << ", with result=" << r << ".\n";
	}
	return failed;
}
