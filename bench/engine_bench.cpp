// engine_bench: the install engine against the standard tools on the same data.
//
// It generates a master tree (default 20,000 files, 2 GiB, a tenth of it global-scenery
// tiles), makes the DVD masters with kestrix-builder, then measures with a warm page
// cache:
//   - the DVD install run (install_files stepped as fast as it returns) against
//     unpacking the same archives with unzip and 7z/bsdtar through xargs -P <processors>;
//   - the checksum scan of the installed copy, stepped as fast as it returns and paced
//     at 60 frames a second, against find | xargs -P <processors> -n 10 md5sum.
// Each comparison is a ratio of medians measured in the same run, with peak memory.
//
// Usage: engine_bench [--quick] [--files N] [--bytes SIZE] [--tile-share F] [--reps N]
//                     [--dir FOLDER] [--keep]
// SIZE takes K, M or G (binary). KX_BENCH_FILES and KX_BENCH_BYTES set the defaults.
// The data lives in FOLDER/kx-engine-bench/ (FOLDER defaults to $TMPDIR or /tmp) and is
// removed at the end unless --keep is given; a kept data set of the same shape is reused.
#include <dirent.h>
#include <fcntl.h>
#include <md5.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "platform/plat_clock.h"
#include "runtime/hl_globals.h"
#include "runtime/hl_thread.h"
#include "runtime/io_utils.h"
#include "runtime/io_utils_zip.h"
#include "runtime/UTL_thread.h"
#include "runtime/rec_stg.h"
#include "support/archive_tools.h"
#include "support/master_tree.h"

extern char** environ;

namespace {

using kx_test::sh_quote;

// ---- Options ----

struct options {
	long files = 20000;
	long long bytes = 2LL << 30;
	double tile_share = 0.10;
	int reps = 3;
	std::string dir;
	bool keep = false;
};

long long parse_size(const std::string& s)
{
	char* end = nullptr;
	const double v = std::strtod(s.c_str(), &end);
	long long mult = 1;
	if (end && *end) {
		switch (*end) {
		case 'k': case 'K': mult = 1LL << 10; break;
		case 'm': case 'M': mult = 1LL << 20; break;
		case 'g': case 'G': mult = 1LL << 30; break;
		default: mult = 0;
		}
	}
	return (long long)(v * (double)mult);
}

[[noreturn]] void usage(const char* why)
{
	std::fprintf(stderr,
	             "engine_bench: %s\nusage: engine_bench [--quick] [--files N] [--bytes SIZE] [--tile-share F] "
	             "[--reps N] [--dir FOLDER] [--keep]\n",
	             why);
	std::exit(2);
}

options parse_options(int argc, char** argv)
{
	options o;
	if (const char* e = std::getenv("KX_BENCH_FILES")) o.files = std::atol(e);
	if (const char* e = std::getenv("KX_BENCH_BYTES")) o.bytes = parse_size(e);
	const char* tmp = std::getenv("TMPDIR");
	o.dir = tmp && *tmp ? tmp : "/tmp";
	for (int i = 1; i < argc; ++i) {
		const std::string a = argv[i];
		auto value = [&]() -> std::string {
			if (i + 1 >= argc) usage(("missing value after " + a).c_str());
			return argv[++i];
		};
		if (a == "--quick") {
			o.files = 1000;
			o.bytes = 64LL << 20;
			o.reps = 2;
		} else if (a == "--files")
			o.files = std::atol(value().c_str());
		else if (a == "--bytes")
			o.bytes = parse_size(value());
		else if (a == "--tile-share")
			o.tile_share = std::atof(value().c_str());
		else if (a == "--reps")
			o.reps = std::atoi(value().c_str());
		else if (a == "--dir")
			o.dir = value();
		else if (a == "--keep")
			o.keep = true;
		else
			usage(("unknown option " + a).c_str());
	}
	if (o.files < 100) usage("--files must be at least 100");
	if (o.bytes < (1LL << 20)) usage("--bytes must be at least 1M");
	if (!(o.tile_share >= 0.0 && o.tile_share <= 0.9)) usage("--tile-share must lie in 0..0.9");
	if (o.reps < 1) usage("--reps must be at least 1");
	if (o.dir.empty() || o.dir[0] != '/') usage("--dir must be an absolute folder");
	if (o.dir.back() != '/') o.dir += '/';
	return o;
}

// ---- Small helpers ----

std::string read_text(const std::string& path)
{
	std::ifstream f(path, std::ios::binary);
	std::ostringstream s;
	s << f.rdbuf();
	return s.str();
}

[[noreturn]] void die(const std::string& why)
{
	std::fprintf(stderr, "engine_bench: %s\n", why.c_str());
	std::exit(1);
}

double now_seconds() { return double(PLAT_microseconds()) / 1e6; }

// One line of /proc/self/status in KB ("VmHWM", "VmRSS", "RssAnon"); 0 when absent.
long status_kb(const char* key)
{
	std::ifstream f("/proc/self/status");
	std::string line;
	const size_t n = std::strlen(key);
	while (std::getline(f, line))
		if (line.compare(0, n, key) == 0 && line.size() > n && line[n] == ':') return std::atol(line.c_str() + n + 1);
	return 0;
}

// Sets the peak resident size back to the present one, so each phase reports its own peak.
void reset_peak()
{
	const int fd = open("/proc/self/clear_refs", O_WRONLY | O_CLOEXEC);
	if (fd < 0) return;
	if (write(fd, "5", 1) != 1) std::fprintf(stderr, "engine_bench: could not reset the peak memory reading\n");
	close(fd);
}

// Peak memory of one engine phase: VmHWM counts the pages of the files the scan maps,
// which the page cache owns; the sampled anonymous peak is the engine's own memory.
struct engine_memory {
	long base_rss_kb = 0;
	long peak_anon_kb = 0;
	double last_sample = 0;
	void start()
	{
		reset_peak();
		base_rss_kb = status_kb("VmRSS");
		peak_anon_kb = status_kb("RssAnon");
		last_sample = now_seconds();
	}
	void sample()
	{
		const double t = now_seconds();
		if (t - last_sample < 0.002) return;
		last_sample = t;
		peak_anon_kb = std::max(peak_anon_kb, status_kb("RssAnon"));
	}
	long hwm_kb() const { return status_kb("VmHWM"); }
};

struct child_result {
	double seconds = 0;
	int status = 0;
};

// Runs a shell command and times it.
child_result run_shell(const std::string& cmd)
{
	child_result r;
	const char* argv[] = {"sh", "-c", cmd.c_str(), nullptr};
	pid_t pid;
	const double t0 = now_seconds();
	if (posix_spawn(&pid, "/bin/sh", nullptr, nullptr, const_cast<char**>(argv), environ) != 0)
		die("cannot start /bin/sh");
	int status = 0;
	if (waitpid(pid, &status, 0) < 0) die("waitpid failed");
	r.seconds = now_seconds() - t0;
	r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
	return r;
}

// A tool's run: its time and the largest resident size of any one process of it. The
// peak goes through /usr/bin/time: a child spawned straight from this process would
// report this process's own peak, which it shares until it executes.
struct tool_result {
	double seconds = 0;
	long maxrss_kb = -1;
};

tool_result run_tool(const std::string& cmd, const std::string& scratch)
{
	static const bool have_time = access("/usr/bin/time", X_OK) == 0;
	tool_result t;
	const std::string peak_file = scratch + "peak.txt";
	const std::string timed = "/usr/bin/time -f %M -o " + sh_quote(peak_file) + " sh -c " + sh_quote(cmd);
	const child_result r = run_shell(have_time ? timed : cmd);
	if (r.status != 0) die("failed: " + cmd);
	t.seconds = r.seconds;
	if (have_time) t.maxrss_kb = std::atol(read_text(peak_file).c_str());
	return t;
}

void remove_tree(const std::string& path)
{
	if (run_shell("rm -rf " + sh_quote(path)).status != 0) die("cannot remove " + path);
}

void make_folders(const std::string& path)
{
	for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1))
		mkdir(path.substr(0, slash).c_str(), 0755);
}

double median(std::vector<double> v)
{
	std::sort(v.begin(), v.end());
	const size_t n = v.size();
	return n % 2 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
}

std::string load_average()
{
	std::string s = read_text("/proc/loadavg");
	const size_t third = s.find(' ', s.find(' ', s.find(' ') + 1) + 1);
	return s.substr(0, third);
}

std::string mb(long kb)
{
	char buf[32];
	std::snprintf(buf, sizeof buf, "%.1f MB", double(kb) / 1024.0);
	return buf;
}

// ---- The data set ----

const char* const kTopFolders[] = {"All/Aircraft/", "All/Resources/", "All/Custom Scenery/", "All/Instructions/",
                                   "All/Airfoils/", "All/Weapons/", "Linux/Resources/"};
const char* const kWords[] = {"General Aviation", "Heavy Metal", "Gliders", "Helicopters", "Science Fiction",
                              "sounds", "default data", "panels", "objects", "textures", "cockpit", "engines",
                              "airports", "navigation", "weather", "plugins", "fonts", "maps"};

// The master tree: the files the builder insists on, `tile_count` tiles holding
// `tile_share` of the bytes, and the bulk spread over a few hundred folders up to four
// deep. Sizes follow an exponential law around the mean, so most files are small and
// a few are ten times the mean; half the files compress well, half not at all.
void generate_master(const std::string& root, const options& o)
{
	const long long tile_bytes = (long long)((double)o.bytes * o.tile_share);
	kx_test::MasterTreeOptions mo;
	mo.seed = 9;
	mo.bulk_files = 0;
	mo.tile_count = tile_bytes > 0 ? 8 : 0;
	// The generator draws each tile between half and all of tile_bytes.
	mo.tile_bytes = (size_t)std::max<long long>(2, tile_bytes / 6);
	const kx_test::MasterTree t = kx_test::make_master_tree(root, mo);

	long long used = 0;
	for (const std::string& p : t.shipped) {
		struct stat st;
		if (lstat((root + p).c_str(), &st) == 0) used += st.st_size;
	}
	// The bulk alone has the asked-for count; the required files come on top.
	const long bulk = o.files;
	const long long bulk_bytes = std::max<long long>(0, o.bytes - used);

	std::mt19937 rng(1234);
	std::vector<std::string> folders;
	for (int i = 0; i < 300; ++i) {
		std::string f = kTopFolders[rng() % (sizeof kTopFolders / sizeof *kTopFolders)];
		const int depth = 1 + int(rng() % 3);
		for (int d = 0; d < depth; ++d)
			f += std::string(kWords[rng() % (sizeof kWords / sizeof *kWords)]) + " " + std::to_string(rng() % 40) + "/";
		folders.push_back(f);
	}
	std::exponential_distribution<double> law(1.0);
	std::vector<double> weight((size_t)std::max<long>(bulk, 0));
	double sum = 0;
	for (double& w : weight) sum += (w = law(rng));
	for (long i = 0; i < bulk; ++i) {
		const size_t bytes = (size_t)std::llround((double)bulk_bytes * weight[(size_t)i] / sum);
		const std::string rel = folders[rng() % folders.size()] + "file " + std::to_string(i) + ".dat";
		make_folders(root + rel);
		std::ofstream out(root + rel, std::ios::binary);
		const std::string data = kx_test::make_content(1000u + (uint32_t)i, bytes, i % 2 == 0);
		out.write(data.data(), (std::streamsize)data.size());
		if (!out) die("cannot write " + root + rel);
	}
}

std::string stamp_of(const options& o)
{
	std::ostringstream s;
	s << "files " << o.files << " bytes " << o.bytes << " tiles " << o.tile_share << " v1\n";
	return s.str();
}

// The product folder the builder named on the first DVD.
std::string product_folder(const std::string& disk0)
{
	DIR* d = opendir(disk0.c_str());
	if (!d) return {};
	std::string name;
	while (dirent* e = readdir(d))
		if (e->d_type == DT_DIR && e->d_name[0] != '.') name = e->d_name;
	closedir(d);
	return name;
}

struct data_set {
	std::string base, master, masters, list, inst, temp, tools_out;
	long long installed_bytes = 0;
	int installed_files = 0;
};

void prepare(const options& o, data_set& ds)
{
	ds.base = o.dir + "kx-engine-bench/";
	ds.master = ds.base + "master/";
	ds.masters = ds.base + "masters/";
	ds.list = ds.base + "list/";
	ds.inst = ds.base + "inst/";
	ds.temp = ds.base + "tmp/";
	ds.tools_out = ds.base + "tools/";
	const std::string stamp_path = ds.base + "stamp.txt";
	if (read_text(stamp_path) == stamp_of(o) && !product_folder(ds.masters + "disk_0/").empty()) {
		std::printf("reusing the data set in %s\n", ds.base.c_str());
		return;
	}
	remove_tree(ds.base);
	make_folders(ds.master);
	make_folders(ds.masters);
	make_folders(ds.list);

	double t0 = now_seconds();
	std::printf("generating the master tree in %s ...\n", ds.master.c_str());
	std::fflush(stdout);
	generate_master(ds.master, o);
	std::printf("  %.1f s\nbuilding the DVD masters with kestrix-builder ...\n", now_seconds() - t0);
	std::fflush(stdout);
	t0 = now_seconds();
	// One DVD holds the set (a 2 GB product fits on one 4.7 GB disc). The builder runs in
	// the data folder, where its memory report lands.
	const child_result b =
	    run_shell("cd " + sh_quote(ds.base) + " && " + sh_quote(KX_BUILDER_EXE) + " src=" + sh_quote(ds.master) +
	              " dst=" + sh_quote(ds.masters) + " dvd_kb=4700000 </dev/null >" +
	              sh_quote(ds.base + "builder.log") + " 2>&1");
	if (b.status != 0) die("kestrix-builder failed, see " + ds.base + "builder.log");
	std::printf("  %.1f s\n", now_seconds() - t0);
	std::ofstream(stamp_path) << stamp_of(o);
}

// ---- The engine's runs ----

double seconds_since(uint64_t t0) { return double(PLAT_microseconds() - t0) / 1e6; }

// Every file chosen for the install must come out of a run present and intact.
void expect_all_intact(const data_set& ds, const char* run)
{
	int have = 0;
	for (const file_history_struct& h : sim_info) have += h.back().install && h.back().have;
	if (have != ds.installed_files) die(std::string(run) + " did not leave every installed file intact");
}

// Between two steps of a run: at once (a yield) when unpaced, else at the next frame
// boundary of a fixed frame clock, as the wizard's screens step the engine.
class step_pacer {
public:
	explicit step_pacer(int fps) : frame_ns_(fps ? 1000000000u / (uint64_t)fps : 0), next_(now_ns() + frame_ns_) {}
	void wait()
	{
		if (!frame_ns_) {
			sched_yield();
			return;
		}
		const uint64_t now = now_ns();
		while (next_ <= now) next_ += frame_ns_;
		const struct timespec ts = {(time_t)(next_ / 1000000000u), (long)(next_ % 1000000000u)};
		clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr);
	}

private:
	// The clock the sleep is measured against.
	static uint64_t now_ns()
	{
		struct timespec ts;
		clock_gettime(CLOCK_MONOTONIC, &ts);
		return (uint64_t)ts.tv_sec * 1000000000u + (uint64_t)ts.tv_nsec;
	}
	uint64_t frame_ns_;
	uint64_t next_;
};

// Chooses every file of the list read for a fresh install into an empty ds.inst.
void choose_fresh_install(data_set& ds)
{
	remove_tree(ds.inst);
	remove_tree(ds.temp);
	make_folders(ds.temp);
	dest_dir_path = ds.inst;
	temp_path = ds.temp;
	set_install_filter(1, 1);
	scenery_take_all();
	int cursor = 0;
	float progress = 0;
	// On a missing folder the scan marks every file absent at once.
	while (!checksum_directory(cursor, progress)) {
	}
	if (choose_files() != 1) die("choosing the files was cancelled");
	if (make_dirs() != 0) die("cannot make the install folders");
	ds.installed_files = 0;
	ds.installed_bytes = 0;
	for (const file_history_struct& h : sim_info)
		if (h.back().install) {
			++ds.installed_files;
			ds.installed_bytes += (long long)(h.back().size_kb * 1000.0f);
		}
}

// One install run; paced at 60 frames a second when `fps` is set.
double engine_install(data_set& ds, const std::string& product, engine_memory& mem, int fps)
{
	choose_fresh_install(ds);
	install_name = product;
	current_disk = 0;
	dvd_path = ds.masters + "disk_0/";
	mem.start();
	int cursor = 0;
	const uint64_t t0 = PLAT_microseconds();
	step_pacer pacer(fps);
	for (;;) {
		const int r = install_files(cursor, current_disk);
		mem.sample();
		if (r == 1) break;
		if (r == 3) {
			std::string msg;
			const int code = install_files_get_error(msg);
			die("the install run failed (" + std::to_string(code) + "): " + msg);
		}
		if (r == 2) {
			current_disk = sim_info[cursor].back().disk;
			dvd_path = ds.masters + "disk_" + std::to_string(current_disk) + "/";
		}
		pacer.wait();
	}
	const double s = seconds_since(t0);
	expect_all_intact(ds, "the install run");
	return s;
}

// One checksum scan of the installed copy; returns seconds. Every installed file must
// come out intact.
double engine_scan(const data_set& ds, engine_memory& mem, int fps)
{
	for (file_history_struct& h : sim_info) {
		h.back().sig_have.clear();
		h.back().have = 0;
	}
	dest_dir_path = ds.inst;
	mem.start();
	int cursor = 0;
	float progress = 0;
	const uint64_t t0 = PLAT_microseconds();
	step_pacer pacer(fps);
	while (!checksum_directory(cursor, progress)) {
		mem.sample();
		pacer.wait();
	}
	const double s = seconds_since(t0);
	expect_all_intact(ds, "the scan");
	return s;
}

// The scan's bound, isolated: the same pool, task size, task limit and stepping as the
// scan, but each file digested by a bare read() loop through a buffer of the
// benchmark's own, without the scan's checks (the link test, the regular-file check,
// the length check): what the scan's own digest path costs beyond that.
class read_digest_task : public UTL_work_task {
public:
	read_digest_task(int first, int last) : first_(first), last_(last) {}
	void do_it() override
	{
		std::vector<unsigned char> buf(1 << 18);
		for (int i = first_; i < last_; ++i) {
			file_version_struct& v = sim_info[i].back();
			if (!v.install) continue;
			std::string rel = v.path;
			trim_dest_folder(rel);
			const std::string path = dest_dir_path + rel;
			MD5_CTX ctx;
			MD5Init(&ctx);
			const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
			if (fd >= 0) {
				ssize_t n;
				while ((n = read(fd, buf.data(), buf.size())) > 0) MD5Update(&ctx, buf.data(), (size_t)n);
				close(fd);
			} else {
				// A link is digested as its target text.
				const ssize_t n = readlink(path.c_str(), reinterpret_cast<char*>(buf.data()), buf.size());
				if (n < 0) continue;
				MD5Update(&ctx, buf.data(), (size_t)n);
			}
			char hex[MD5_DIGEST_STRING_LENGTH];
			MD5End(&ctx, hex);
			v.have = v.sig == hex;
		}
	}
	int check_error(std::string& msg) override
	{
		msg.clear();
		return 0;
	}

private:
	int first_, last_;
};

double reference_scan(const data_set& ds)
{
	for (file_history_struct& h : sim_info) h.back().have = 0;
	dest_dir_path = ds.inst;
	const int threads = std::max(1, UTL_count_processors());
	UTL_worker_threads pool(threads, 4 * threads);
	const int n = (int)sim_info.size();
	int cursor = 0;
	const uint64_t t0 = PLAT_microseconds();
	step_pacer pacer(0);
	for (;;) {
		while (cursor < n && pool.has_free_slot()) {
			const int k = std::min(10, n - cursor);
			pool.enqueue_task(new read_digest_task(cursor, cursor + k));
			cursor += k;
		}
		while (UTL_work_task* t = pool.check_retired_tasks()) delete t;
		if (cursor == n && pool.count_total_tasks() == 0) break;
		pacer.wait();
	}
	const double s = seconds_since(t0);
	expect_all_intact(ds, "the reference digest");
	return s;
}

// ---- The tools ----

// The archives the engine installs, with the folder each unpacks into, as NUL-separated
// pairs for xargs, and the script that unpacks a batch of pairs.
void write_tool_inputs(const data_set& ds, const std::string& product, const std::string& sevenz)
{
	std::ofstream pairs(ds.base + "archives.lst", std::ios::binary);
	for (size_t i = 0; i < sim_info.size(); ++i) {
		const file_version_struct& v = sim_info[i].back();
		if (!v.install) continue;
		std::string rel = v.path;
		trim_dest_folder(rel);
		const std::string archive =
		    ds.masters + "disk_" + std::to_string(v.disk) + "/" + product + "/" + v.path + suffix_for_file((int)i);
		const std::string folder = ds.tools_out + rel.substr(0, rel.rfind('/') + 1);
		pairs << archive << '\0' << folder << '\0';
	}
	std::ofstream script(ds.base + "unpack.sh");
	script << "#!/bin/sh\n# Unpacks archive/folder pairs.\nwhile [ $# -ge 2 ]; do\n"
	          "\tcase \"$1\" in\n";
	if (sevenz != "bsdtar")
		script << "\t*.7z) " << sevenz << " x -y -bd -o\"$2\" \"$1\" >/dev/null || exit 255 ;;\n";
	else
		script << "\t*.7z) bsdtar -xf \"$1\" -C \"$2\" || exit 255 ;;\n";
	script << "\t*) unzip -qo \"$1\" -d \"$2\" || exit 255 ;;\n\tesac\n\tshift 2\ndone\n";
}

// The tools' output folders exist before the clock starts, as the engine's do.
void prepare_tools_out(const data_set& ds)
{
	remove_tree(ds.tools_out);
	for (const file_history_struct& h : sim_info) {
		if (!h.back().install) continue;
		std::string rel = h.back().path;
		trim_dest_folder(rel);
		make_folders(ds.tools_out + rel);
	}
}

// ---- Report ----

struct comparison {
	const char* what;
	std::vector<double> ours, theirs;
	long ours_hwm_kb = 0, ours_anon_kb = 0, ours_base_kb = 0, theirs_kb = -1;
	double goal = 0;
	void line(const char* tool) const
	{
		const double a = median(ours), b = median(theirs);
		std::printf("%-26s engine %7.3f s   %-28s %7.3f s   ratio %5.2f", what, a, tool, b, a / b);
		if (goal > 0) std::printf("  (goal <= %.2f: %s)", goal, a / b <= goal ? "met" : "MISSED");
		std::printf("\n%-26s engine peak %s (VmHWM; anonymous %s, %s before the run); tool peak %s per process\n", "",
		            mb(ours_hwm_kb).c_str(), mb(ours_anon_kb).c_str(), mb(ours_base_kb).c_str(),
		            theirs_kb < 0 ? "unknown" : mb(theirs_kb).c_str());
	}
};

void note_memory(comparison& c, const engine_memory& m)
{
	c.ours_hwm_kb = std::max(c.ours_hwm_kb, m.hwm_kb());
	c.ours_anon_kb = std::max(c.ours_anon_kb, m.peak_anon_kb);
	c.ours_base_kb = m.base_rss_kb;
}

}  // namespace

int main(int argc, char** argv)
{
	const options o = parse_options(argc, argv);
	for (const char* tool : {"md5sum", "unzip", "xargs", "find"})
		if (!kx_test::have_tool(tool)) die(std::string("needs ") + tool);
	// 7-Zip where there is one, else libarchive's bsdtar.
	std::string sevenz = kx_test::seven_zip_tool();
	if (sevenz.empty()) sevenz = "bsdtar";
	if (sevenz == "bsdtar" && !kx_test::have_tool("bsdtar")) die("needs 7-Zip or bsdtar");
	const int procs = std::max(1, UTL_count_processors());
	// Other work on the machine skews both sides; the report shows how much there was.
	const std::string load_before = load_average();
	const std::string P = std::to_string(procs);

	data_set ds;
	prepare(o, ds);
	const std::string disk0 = ds.masters + "disk_0/";
	const std::string product = product_folder(disk0);
	if (product.empty()) die("no product folder in " + disk0);
	if (zip_to_file(disk0 + product + "/directory.txt.zip", ds.list, nullptr, 0) != 0)
		die("cannot unpack the file list");
	stg.target_os = 3;
	if (read_directory(ds.list + "directory.txt", "") != 3) die("the file list did not read");

	choose_fresh_install(ds);
	write_tool_inputs(ds, product, sevenz);
	std::printf("\n%ld files in the list, %d installed (%.2f GB), %d processors, median of %d runs\n\n",
	            (long)sim_info.size(), ds.installed_files, (double)ds.installed_bytes / 1e9, procs, o.reps);

	// ---- Install ----
	comparison inst{"install (unpaced)", {}, {}};
	inst.goal = 1.5;
	const std::string unpack_cmd = "xargs -0 -P " + P + " -n 20 sh " + sh_quote(ds.base + "unpack.sh") + " < " +
	                               sh_quote(ds.base + "archives.lst");
	// A first untimed pass warms the page cache with the archives.
	prepare_tools_out(ds);
	run_tool(unpack_cmd, ds.base);
	for (int rep = 0; rep < o.reps; ++rep) {
		engine_memory mem;
		prepare_tools_out(ds);
		// The engine goes first on even runs and second on odd ones: neither side
		// always inherits the other's dirty pages.
		for (int side = 0; side < 2; ++side) {
			if ((side == 0) == (rep % 2 == 0)) {
				inst.ours.push_back(engine_install(ds, product, mem, 0));
				note_memory(inst, mem);
			} else {
				const tool_result r = run_tool(unpack_cmd, ds.base);
				inst.theirs.push_back(r.seconds);
				inst.theirs_kb = std::max(inst.theirs_kb, r.maxrss_kb);
			}
		}
		std::printf("  install run %d: engine %.3f s, tools %.3f s\n", rep + 1, inst.ours.back(), inst.theirs.back());
		std::fflush(stdout);
	}
	// Paced, as the install screen drives it: one step a frame.
	comparison inst_paced{"install (60 fps)", {}, {}};
	{
		engine_memory mem;
		inst_paced.ours.push_back(engine_install(ds, product, mem, 60));
		note_memory(inst_paced, mem);
		inst_paced.theirs = inst.theirs;
		inst_paced.theirs_kb = inst.theirs_kb;
	}
	remove_tree(ds.tools_out);

	// ---- Scan ----
	comparison scan{"scan (unpaced)", {}, {}};
	scan.goal = 0.8;
	comparison scan_paced{"scan (60 fps)", {}, {}};
	comparison scan_ref{"read() digest, same pool", {}, {}};
	const std::string md5_cmd =
	    "find " + sh_quote(ds.inst) + " -type f -print0 | xargs -0 -P " + P + " -n 10 md5sum >/dev/null";
	run_shell(md5_cmd);
	for (int rep = 0; rep < o.reps; ++rep) {
		engine_memory mem;
		for (int side = 0; side < 2; ++side) {
			if ((side == 0) == (rep % 2 == 0)) {
				scan.ours.push_back(engine_scan(ds, mem, 0));
				note_memory(scan, mem);
			} else {
				const tool_result r = run_tool(md5_cmd, ds.base);
				scan.theirs.push_back(r.seconds);
				scan.theirs_kb = std::max(scan.theirs_kb, r.maxrss_kb);
			}
		}
		scan_paced.ours.push_back(engine_scan(ds, mem, 60));
		note_memory(scan_paced, mem);
		mem.start();
		scan_ref.ours.push_back(reference_scan(ds));
		mem.sample();
		note_memory(scan_ref, mem);
		std::printf("  scan run %d: engine %.3f s, at 60 fps %.3f s, md5sum %.3f s, read() digest %.3f s\n", rep + 1,
		            scan.ours.back(), scan_paced.ours.back(), scan.theirs.back(), scan_ref.ours.back());
		std::fflush(stdout);
	}
	for (comparison* c : {&scan_paced, &scan_ref}) {
		c->theirs = scan.theirs;
		c->theirs_kb = scan.theirs_kb;
	}

	std::printf("\n");
	const std::string unpack_name = "unzip+" + sevenz + " xargs -P" + P;
	inst.line(unpack_name.c_str());
	inst_paced.line(unpack_name.c_str());
	const std::string md5_name = "md5sum xargs -P" + P + " -n 10";
	scan.line(md5_name.c_str());
	scan_paced.line(md5_name.c_str());
	scan_ref.line(md5_name.c_str());
	std::printf("\nload average before: %s       after: %s\n", load_before.c_str(), load_average().c_str());

	if (!o.keep) remove_tree(ds.base);
	else
		std::printf("\nkept the data set in %s\n", ds.base.c_str());
	return 0;
}
