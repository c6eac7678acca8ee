// Makes the DVD sets the end-to-end flows install from, with the real builder:
//   e2e_make_dvd_sets <kestrix-builder> <output folder>
// Generation 1 of a seeded master tree is built, then generation 2 (files changed, added
// and removed) with the first list as old= and a DVD size that spreads it over two DVDs:
//   A/KESTRIX_DVD1, A/KESTRIX_DVD2  the builder's DVDs as they are
//   B/KESTRIX_DVD<n>               scenery only (which the builder refuses to make): A's
//                                  list cut to the scenery, zipped by our own writer
//   C/KESTRIX_DVD<n>               A with one archive truncated
//   D/KESTRIX_DVD<n>               A with the last tile's archive on DVD 2 (its list rezipped)
// and manifest.json, which the flows read instead of assuming: each file's DVD and MD5,
// generation 1's bytes of the changed and removed files, the digests of each file's
// earlier versions, and an `md5sum -c` list of a Linux install.
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

#include "engine/engine.h"
#include "runtime/hl_trace.h"
#include "runtime/rec_stg.h"
#include "runtime/io_utils.h"
#include "runtime/io_utils_zip.h"
#include "support/archive_tools.h"
#include "support/master_tree.h"
#include "support/test_env.h"

namespace {
constexpr char kProduct[] = "Kestrix 9.10r1";
constexpr char kDvdFolder[] = "KESTRIX_DVD";
constexpr char kSceneryFolder[] = "Global Scenery";
constexpr char kFakeSim[] = "Linux/Kestrix.app/Contents/MacOS/Kestrix";
constexpr char kFakeSimLogVar[] = "KESTRIX_FAKE_SIM_LOG";
// What the simulator's stand-in tells the terminal the installer was started from, so
// that the installer ending on "Run Kestrix Now" does not look like a crash.
constexpr char kFakeSimSays[] = "printf 'Kestrix 9 sample set: this stands in for the simulator; it was started from "
                                "the copy in %s/ and does nothing more.\\n' \"${0%/Kestrix.app/*}\"\n";
constexpr int kGen1Version = 91000;
constexpr int kGen2Version = 91001;
constexpr int kMaxDvds = 2;             // set A spans exactly this many
constexpr double kFirstShare = 0.6;     // of generation 1's archive KB per DVD
constexpr double kWidenShare = 1.25;    // when the set came out longer
constexpr int kTries = 6;
constexpr int kLinuxTarget = 3;
constexpr long kLargeDvdKb = 4000000;

const char* const kTiles[] = {"+40-080", "+40-090", "-10+020"};

[[noreturn]] void fail(const std::string& why)
{
	std::fprintf(stderr, "e2e_make_dvd_sets: %s\n", why.c_str());
	std::exit(1);
}

std::string q(const std::string& s) { return kx_test::sh_quote(s); }

void sh(const std::string& cmd)
{
	std::string out;
	if (kx_test::run_sh(cmd, &out) != 0) fail("failed: " + cmd + "\n" + out);
}

void build(const std::string& builder, const std::string& master, const std::string& dst, int version,
           const std::string& old_list, long dvd_kb)
{
	kx_test::remove_tree(dst);
	std::string cmd = q(builder) + " " + q("src=" + master) + " " + q("dst=" + dst) + " version=" +
	                  std::to_string(version) + " dvd_kb=" + std::to_string(dvd_kb);
	if (!old_list.empty()) cmd += " " + q("old=" + old_list);
	sh(cmd);
	if (!file_exists(dst + "disk_0/dvd_version.txt")) fail("the builder made no DVD in " + dst);
}

// DVDs that hold archives (the builder lays out the folders of more).
int count_dvds(const std::string& dst)
{
	int n = 0;
	for (int d = 0; dir_exists(dst + "disk_" + std::to_string(d) + "/"); ++d) {
		std::string out;
		kx_test::run_sh("find " + q(dst + "disk_" + std::to_string(d)) + " -type f -name '*.zip' | head -1", &out);
		if (!out.empty()) n = d + 1;
	}
	return n;
}

std::string read_all(const std::string& p)
{
	std::ifstream in(p, std::ios::binary);
	std::stringstream s;
	s << in.rdbuf();
	return s.str();
}

// The archives' size on a DVD, in KB of 1000 bytes.
long archive_kb(const std::string& dvd)
{
	std::string out;
	kx_test::run_sh("find " + q(dvd) + " -type f \\( -name '*.zip' -o -name '*.7z' \\) ! -name directory.txt.zip "
	                "-printf '%s\\n' | awk '{s+=$1} END {print int(s/1000)}'", &out);
	return std::atol(out.c_str());
}

std::string unpack_list(const std::string& dvd0, const std::string& into)
{
	::mkdir(into.c_str(), 0755);
	if (zip_to_file(dvd0 + kProduct + "/directory.txt.zip", into, nullptr, 0) != 0) fail("cannot unpack the list of " + dvd0);
	return into + "directory.txt";
}

std::string dvd_name(int disk) { return std::string(kDvdFolder) + std::to_string(disk + 1); }

// The list's lines of the global scenery only: the header, DISK lines, and the DIR and
// FILE lines of scenery folders.
std::string scenery_list(const std::string& list)
{
	std::istringstream in(list);
	std::string line, out, dir;
	bool body = false;
	while (std::getline(in, line)) {
		std::istringstream w(line);
		std::string word;
		w >> word;
		if (word == "DIR") {
			body = true;
			dir = line;
		}
		if (word == "DISK") body = true;
		if (!body || word == "DISK" || ((word == "DIR" || word == "FILE") && dir.find(kSceneryFolder) != std::string::npos))
			out += line + "\n";
	}
	return out;
}

std::string json_list(const std::vector<std::string>& v) { return UTL_trace_json(v); }

// The list with the FILE lines of the folders named `tile` on DVD `disk`, the DVD of the
// lines after them kept: DISK lines may go down as well as up.
std::string list_moving_tile(const std::string& list, const std::string& tile, int disk)
{
	std::istringstream in(list);
	std::string line, out, dir;
	int current = 0;
	while (std::getline(in, line)) {
		std::istringstream w(line);
		std::string word;
		w >> word;
		if (word == "DIR") dir = line;
		if (word == "DISK") w >> current;
		if (word == "FILE" && dir.find("/" + tile + "/") != std::string::npos)
			out += "DISK " + std::to_string(disk) + "\n" + line + "\nDISK " + std::to_string(current) + "\n";
		else
			out += line + "\n";
	}
	return out;
}

// The digests of a file's earlier versions in the list: a file on disk that matches one
// of them is an old version the installer replaces without asking, not a user's edit.
std::vector<std::string> older_md5s(const file_history_struct& h)
{
	std::vector<std::string> out;
	for (size_t k = 0; k + 1 < h.size(); ++k)
		if (h[k].sig != "GONE") out.push_back(h[k].sig);
	return out;
}
}  // namespace

int main(int argc, char** argv)
{
	if (argc != 3) fail("usage: e2e_make_dvd_sets <kestrix-builder> <output folder>");
	const std::string builder = argv[1];
	std::string out = argv[2];
	if (out.back() != '/') out += '/';
	kx_test::remove_tree(out);
	sh("mkdir -p " + q(out + "home"));
	// Nothing the builder or we do may touch the real home folder.
	for (const char* v : {"HOME", "XDG_CONFIG_HOME", "XDG_DESKTOP_DIR"}) setenv(v, (out + "home").c_str(), 1);
	setenv("TMPDIR", (out + "home").c_str(), 1);

	// Generation 1, with the fake simulator and the three tiles.
	const std::string master = out + "master/";
	::mkdir(master.c_str(), 0755);
	kx_test::MasterTreeOptions o;
	o.seed = 20;
	o.bulk_files = 24;
	o.max_file_bytes = 40000;
	o.tile_bytes = 60000;
	o.tile_names.assign(std::begin(kTiles), std::end(kTiles));
	kx_test::MasterTree tree = kx_test::make_master_tree(master, o);
	kx_test::write_file(master + kFakeSim, std::string("#!/bin/sh\n# The simulator's stand-in: records how it was started.\n"
	                                                   "printf '%s\\n' \"$0\" \"$@\" >> \"${") +
	                                           kFakeSimLogVar + ":-/dev/null}\"\n" + kFakeSimSays);
	::chmod((master + kFakeSim).c_str(), 0755);
	tree.shipped.push_back(kFakeSim);
	build(builder, master, out + "gen1/", kGen1Version, "", kLargeDvdKb);
	const std::string gen1_list = unpack_list(out + "gen1/disk_0/", out + "gen1_list/");

	// Generation 2: generation 1's bytes of what changes are kept for the flows.
	std::map<std::string, std::string> before;
	for (const std::string& p : tree.shipped)
		if (!tree.links.count(p)) before[p] = read_all(master + p);
	const kx_test::Generation g = kx_test::next_generation(tree, 21, 3, 2, 2);
	std::vector<std::string> changed, removed;
	for (auto [from, into] : {std::pair{&g.changed, &changed}, std::pair{&g.removed, &removed}})
		for (std::string p : *from) {
			const std::string rel = p;
			trim_dest_folder(p);
			kx_test::write_file(out + "gen1_bytes/" + p, before[rel]);
			into->push_back(p);
		}

	long dvd_kb = static_cast<long>(archive_kb(out + "gen1/disk_0/") * kFirstShare) + 1;
	const std::string gen2 = out + "gen2/";
	for (int t = 0;; ++t) {
		build(builder, master, gen2, kGen2Version, gen1_list, dvd_kb);
		if (count_dvds(gen2) == kMaxDvds) break;
		if (t == kTries) fail("the set never came out on exactly two DVDs");
		dvd_kb = static_cast<long>(dvd_kb * (count_dvds(gen2) > kMaxDvds ? kWidenShare : 1.0 / kWidenShare)) + 1;
	}

	// Set A as the builder made it.
	sh("mkdir -p " + q(out + "A"));
	for (int d = 0; d < kMaxDvds; ++d)
		sh("cp -a " + q(gen2 + "disk_" + std::to_string(d)) + " " + q(out + "A/" + dvd_name(d)));
	std::printf("e2e_make_dvd_sets: %ld KB per DVD\n", dvd_kb);
	const std::string list = unpack_list(out + "A/" + dvd_name(0) + "/", out + "A_list/");

	// The file model of set A, as the installer reads it for Linux.
	stg.target_os = kLinuxTarget;
	if (read_directory(list, "") != 3) fail("set A's list does not read");
	set_install_filter(1, 1);
	std::string files = "[";
	std::string md5sums;
	std::vector<std::string> scenery_archives;
	std::vector<int> scenery_disks;
	std::string truncated, truncated_path;
	long truncated_size = 0;
	for (int i = 0; i < static_cast<int>(sim_info.size()); ++i) {
		const file_version_struct& v = sim_info[i].back();
		std::string install = v.path;
		trim_dest_folder(install);
		const bool linux_file = want_this_f(i, static_cast<int>(sim_info[i].size()) - 1) != 0;
		const std::string archive = std::string(kProduct) + "/" + v.path + suffix_for_file(i);
		files += std::string(files.size() > 1 ? ",\n  " : "\n  ") + "{\"list_path\": " + UTL_trace_json(v.path) +
		         ", \"install_path\": " + UTL_trace_json(install) + ", \"archive\": " + UTL_trace_json(archive) +
		         ", \"dvd\": " + std::to_string(v.disk) + ", \"md5\": " + UTL_trace_json(v.sig) +
		         ", \"scenery\": " + (v.is_global ? "true" : "false") + ", \"linux\": " +
		         (linux_file ? "true" : "false") + ", \"link\": " + (tree.links.count(v.path) ? "true" : "false") +
		         ", \"older_md5\": " + json_list(older_md5s(sim_info[i])) + "}";
		if (v.sig == "GONE") continue;
		// md5sum follows a link; the installer digests its text. Links are checked apart.
		if (linux_file && !tree.links.count(v.path)) md5sums += v.sig + "  " + install + "\n";
		if (v.is_global) {
			scenery_archives.push_back(archive);
			scenery_disks.push_back(v.disk);
		} else if (v.disk == 0 && install.find("file ") != std::string::npos) {
			const long size = APL_file_size(out + "A/" + dvd_name(0) + "/" + archive);
			if (size > truncated_size) {
				truncated_size = size;
				truncated = archive;
				truncated_path = install;
			}
		}
	}
	files += "\n]";
	kx_test::write_file(out + "linux_install.md5", md5sums);
	if (scenery_archives.size() != std::size(kTiles)) fail("set A does not carry the three tiles");
	if (truncated.empty()) fail("set A has no archive on DVD 1 to damage");

	// Set B: scenery only, zipped by our writer.
	const std::string cut = out + "B_list/directory.txt";
	kx_test::write_file(cut, scenery_list(read_all(list)));
	std::vector<std::string> b_dvds;
	for (size_t k = 0; k < scenery_archives.size(); ++k) {
		const std::string dvd = out + "B/" + dvd_name(scenery_disks[k]) + "/";
		kx_test::write_file(dvd + scenery_archives[k], read_all(out + "A/" + dvd_name(scenery_disks[k]) + "/" + scenery_archives[k]));
	}
	sh("mkdir -p " + q(out + "B/" + dvd_name(0) + "/" + kProduct));
	sh("cp " + q(out + "A/" + dvd_name(0) + "/dvd_version.txt") + " " + q(out + "B/" + dvd_name(0) + "/"));
	if (file_to_zip(cut, out + "B/" + dvd_name(0) + "/" + kProduct + "/directory.txt.zip") != 0) fail("cannot zip set B's list");
	for (int d = 0; dir_exists(out + "B/" + dvd_name(d) + "/"); ++d) b_dvds.push_back(dvd_name(d));

	// Set C: A with one archive cut to half its length.
	sh("cp -a " + q(out + "A") + " " + q(out + "C"));
	if (!kx_test::truncate_to(out + "C/" + dvd_name(0) + "/" + truncated, truncated_size / 2)) fail("cannot truncate");

	// Set D: A with the last tile's archive on DVD 2, so that adding it asks for a DVD change.
	const std::string moved_tile = kTiles[std::size(kTiles) - 1];
	const int moved_disk = kMaxDvds - 1;
	std::string moved_archive, moved_path;
	for (const file_history_struct& h : sim_info)
		if (h.back().is_global && h.back().path.find("/" + moved_tile + "/") != std::string::npos) {
			moved_archive = std::string(kProduct) + "/" + h.back().path + ".7z";
			moved_path = h.back().path;
			trim_dest_folder(moved_path);
		}
	if (moved_archive.empty()) fail("set A has no tile " + moved_tile);
	sh("cp -a " + q(out + "A") + " " + q(out + "D"));
	const std::string moved_from = out + "D/" + dvd_name(0) + "/" + moved_archive;
	const std::string moved_to = out + "D/" + dvd_name(moved_disk) + "/" + moved_archive;
	if (file_exists(moved_from)) {
		sh("mkdir -p " + q(moved_to.substr(0, moved_to.rfind('/'))) + " && mv " + q(moved_from) + " " + q(moved_to));
	} else if (!file_exists(moved_to)) {
		fail("set A has no archive " + moved_archive);
	}
	kx_test::write_file(out + "D_list/directory.txt", list_moving_tile(read_all(list), moved_tile, moved_disk));
	if (file_to_zip(out + "D_list/directory.txt", out + "D/" + dvd_name(0) + "/" + kProduct + "/directory.txt.zip") != 0)
		fail("cannot zip set D's list");

	std::vector<std::string> a_dvds;
	for (int d = 0; d < kMaxDvds; ++d) a_dvds.push_back(dvd_name(d));
	std::string tiles = json_list(std::vector<std::string>(std::begin(kTiles), std::end(kTiles)));
	std::string fake_sim = kFakeSim;
	trim_dest_folder(fake_sim);
	kx_test::write_file(out + "manifest.json",
	                    "{\"product\": " + UTL_trace_json(kProduct) + ",\n \"root\": " + UTL_trace_json(out) +
	                        ",\n \"sets\": {\"A\": " + json_list(a_dvds) + ", \"B\": " + json_list(b_dvds) +
	                        ", \"C\": " + json_list(a_dvds) +
	                        ", \"D\": " + json_list(a_dvds) + "},\n \"tiles\": " + tiles +
	                        ",\n \"changed\": " + json_list(changed) + ",\n \"removed\": " + json_list(removed) +
	                        ",\n \"gen1_bytes\": \"gen1_bytes/\",\n \"linux_md5sum\": \"linux_install.md5\"" +
	                        ",\n \"truncated\": {\"set\": \"C\", \"dvd\": " + UTL_trace_json(dvd_name(0)) +
	                        ", \"archive\": " + UTL_trace_json(truncated) + ", \"install_path\": " +
	                        UTL_trace_json(truncated_path) + "},\n \"fake_sim\": {\"install_path\": " +
	                        UTL_trace_json(fake_sim) + ", \"log_variable\": " + UTL_trace_json(kFakeSimLogVar) +
	                        "},\n \"moved_tile\": {\"set\": \"D\", \"tile\": " + UTL_trace_json(moved_tile) +
	                        ", \"install_path\": " + UTL_trace_json(moved_path) + ", \"archive\": " +
	                        UTL_trace_json(moved_archive) + ", \"dvd\": " + std::to_string(moved_disk) + "}" +
	                        ",\n \"files\": " + files + "}\n");
	std::printf("e2e_make_dvd_sets: sets A (%zu DVDs), B (%zu), C in %s\n", a_dvds.size(), b_dvds.size(), out.c_str());
	return 0;
}
