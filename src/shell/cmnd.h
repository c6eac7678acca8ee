#pragma once
// The command registry: every user action a key can trigger, named by a '/'-separated
// path. Ids are positions in the parallel vectors and never change once given. Id 0,
// the built-in "do nothing" command, is also the answer for an unknown path.
#include <string>
#include <vector>

struct cmnd_default_row {
	const char* name;
	const char* path;
	const char* description;
	int kind;
	int default_vkey;
	int default_flags;
};

// The built-in table; the key layer reads the default key of each row from it.
extern const cmnd_default_row default_commands[];
extern const int default_commands_count;

class cmnd_class {
public:
	cmnd_class();

	// Appends a run-time command (name "DYNAMIC", kind 2); returns its id.
	int add_cmd(const std::string& path, const std::string& description);
	// The first command whose path is exactly `path`, else 0.
	int get_cmnd_by_name(const std::string& path) const;
	// The distinct entries directly below `prefix`, in byte order: a leaf name, or a
	// sub-folder name ending in "/".
	void get_cmds_in_path(const std::string& prefix, std::vector<std::string>& out) const;

	// An id the registry never gave (a stale or hand-made binding) counts nothing.
	void press_one(int id)
	{
		if (has(id)) press_counts[id] += 1;
	}
	void release_one(int id)
	{
		if (has(id)) press_counts[id] -= 1;
	}
	void single_press(int id)
	{
		press_one(id);
		release_one(id);
	}
	// Commands that repeat while their key is held would act here; none do.
	void press_always(int) {}

	int count() const { return static_cast<int>(paths.size()); }
	bool has(int id) const { return id >= 0 && id < count(); }

	std::vector<std::string> names;
	std::vector<std::string> paths;
	std::vector<std::string> descriptions;
	std::vector<int> kinds;
	std::vector<int> press_counts;
};

extern cmnd_class cmnd;

// Lets the command line's "--cmnds" list this registry. Whoever parses the command
// line calls this first.
void cmnd_install_cmdline_source();

int get_plane_focus();
void set_plane_focus(int);
