#include "shell/cmnd.h"

#include <set>

#include "runtime/cmdline.h"
#include "runtime/hl_math.h"
#include "runtime/hl_math_ui.h"

const cmnd_default_row default_commands[] = {
	{"cmnd_nothing", "sim/-none-/-none-", "Do nothing at all!", 3, 0, 0},
};
const int default_commands_count = static_cast<int>(sizeof(default_commands) / sizeof(default_commands[0]));

cmnd_class cmnd;

namespace {
constinit int fp = 0;
}

int get_plane_focus() { return fp; }
void set_plane_focus(int f) { fp = f; }

cmnd_class::cmnd_class()
{
	for (int n = 0; n < default_commands_count; ++n) {
		names.push_back(default_commands[n].name);
		paths.push_back(default_commands[n].path);
		descriptions.push_back(default_commands[n].description);
		kinds.push_back(default_commands[n].kind);
		press_counts.push_back(0);
	}
}

int cmnd_class::add_cmd(const std::string& path, const std::string& description)
{
	const int id = count();
	names.push_back("DYNAMIC");
	paths.push_back(path);
	descriptions.push_back(description);
	kinds.push_back(2);
	press_counts.push_back(0);
	return id;
}

int cmnd_class::get_cmnd_by_name(const std::string& path) const
{
	for (int n = 0; n < count(); ++n)
		if (paths[n] == path) return n;
	return 0;
}

void cmnd_class::get_cmds_in_path(const std::string& prefix, std::vector<std::string>& out) const
{
	out.clear();
	std::set<std::string> found;
	for (const std::string& p : paths) {
		if (p.size() <= prefix.size() || p.compare(0, prefix.size(), prefix) != 0) continue;
		const size_t slash = p.find('/', prefix.size());
		if (slash == std::string::npos)
			found.insert(p.substr(prefix.size()));
		else
			found.insert(p.substr(prefix.size(), slash + 1 - prefix.size()));
	}
	out.assign(found.begin(), found.end());
}

namespace {
// "--cmnds=all" lists each command by its name, with its description; the paths are
// what "--cmnds=<path>" browses.
void list_all_for_cmdline(std::vector<std::pair<std::string, std::string>>& out)
{
	out.clear();
	for (int n = 0; n < cmnd.count(); ++n) out.emplace_back(cmnd.names[n], cmnd.descriptions[n]);
}

void list_in_path_for_cmdline(const std::string& prefix, std::vector<std::string>& out)
{
	cmnd.get_cmds_in_path(prefix, out);
}
}  // namespace

void cmnd_install_cmdline_source()
{
	UTL_cmdline_set_cmnd_source({list_all_for_cmdline, list_in_path_for_cmdline});
}
