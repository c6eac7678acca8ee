#pragma once
// Named statistics, named debug commands and profiler hooks. Modules declare them as
// static objects, so registration runs during static initialisation, in whatever
// order the units happen to initialise: everything a constructor touches before
// init_stats is constant-initialised (the waiting list, the flags, the command list).
#include <map>
#include <set>

using UTL_stat_type = int;
// The categories statistics are filed under.
constexpr UTL_stat_type stat_memory = 0;        // memory figures
constexpr UTL_stat_type stat_per_frame = 2;     // counts per frame
constexpr UTL_stat_type stat_debug_switch = 4;  // debug switches

class UTL_stat {
public:
	// A statistic over an outside variable.
	UTL_stat(float* target, const char* name, UTL_stat_type type);
	// A statistic that keeps its own value.
	UTL_stat(const char* name, UTL_stat_type type, float initial);
	// A statistic is never removed from the registry.
	~UTL_stat() {}

	UTL_stat(const UTL_stat&) = delete;
	UTL_stat& operator=(const UTL_stat&) = delete;

	// Files every statistic made so far into the registry; later ones are filed at once.
	static void init_stats();
	// Files this statistic under its type (again: the set keeps one entry).
	void publish();
	// Sets the own value of every filed statistic of that type to 0.
	static void reset_stats(UTL_stat_type type);

	float own_value;
	UTL_stat_type type;
	UTL_stat* next_waiting;
	float* target;
	const char* name;

private:
	void made();
};

// The registry, filled by init_stats and by statistics made after it.
extern std::map<UTL_stat_type, std::set<UTL_stat*>> all_stats;
extern constinit UTL_stat* waiting;
extern constinit int stat_initialized;

class UTL_remote_cmd {
public:
	UTL_remote_cmd(const char* name, void (*function)());
	~UTL_remote_cmd() {}
	UTL_remote_cmd(const UTL_remote_cmd&) = delete;
	UTL_remote_cmd& operator=(const UTL_remote_cmd&) = delete;

	void publish() {}
	// Runs the newest command with this id; an unknown id does nothing.
	static void invoke(void*, int id);
	static void init_remote_cmds();

	UTL_remote_cmd* next;
	void (*function)();
	const char* name;
	int id;

	static constinit UTL_remote_cmd* cmd_list;
	static constinit int free_id;
	static constinit int inited;
};

// Hooks for an outside profiler; none is attached in this program.
void UTL_profiler_init();
void UTL_profiler_start(const char* label);
void UTL_profiler_stop();
