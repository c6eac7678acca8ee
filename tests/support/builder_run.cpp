#include "support/builder_run.h"

#include <sys/stat.h>

#include "engine/builder/make_installer.h"
#include "support/update_server.h"

namespace kx_test {

namespace {
constexpr int kDvdBuild = 1;
}  // namespace

std::vector<RecordedAlert> build_release(const std::string& master, const std::string& masters, int version,
                                         const std::string& old_list, float dvd_kb)
{
	remove_tree(masters);
	::mkdir(masters.c_str(), 0755);
	src_fold = master;
	dst_fold_base = masters;
	old_dir_path = old_list;
	read_old_dir_always = old_list.empty() ? 0 : 1;
	build_type = kDvdBuild;
	build_version = version;
	dvd_capacity_kb = dvd_kb;
	AlertRecorder rec;
	build_install();
	return rec.alerts();
}

std::string build_update_release(const std::string& master, const std::string& masters, const std::string& served,
                                 const std::string& product, int version, const std::string& old_list)
{
	build_release(master, masters, version, old_list);
	remove_tree(served);
	return make_update_server_tree(masters, product, served);
}

}  // namespace kx_test
