#include "runtime/UTL_stat.h"

#include "runtime/hl_math.h"

// Touched only by init_stats and by statistics made after it, both of which run
// after static initialisation has built it.
std::map<UTL_stat_type, std::set<UTL_stat*>> all_stats;
constinit UTL_stat* waiting = nullptr;
constinit int stat_initialized = 0;

constinit UTL_remote_cmd* UTL_remote_cmd::cmd_list = nullptr;
constinit int UTL_remote_cmd::free_id = 1;
constinit int UTL_remote_cmd::inited = 0;

UTL_stat::UTL_stat(float* t, const char* n, UTL_stat_type ty)
	: own_value(0.0f), type(ty), next_waiting(nullptr), target(t), name(n)
{
	made();
}

UTL_stat::UTL_stat(const char* n, UTL_stat_type ty, float initial)
	: own_value(initial), type(ty), next_waiting(nullptr), target(&own_value), name(n)
{
	made();
}

void UTL_stat::made()
{
	if (stat_initialized) {
		publish();
	} else {
		next_waiting = waiting;
		waiting = this;
	}
}

void UTL_stat::publish() { all_stats[type].insert(this); }

void UTL_stat::init_stats()
{
	for (UTL_stat* s = waiting; s; s = s->next_waiting) s->publish();
	stat_initialized = 1;
}

void UTL_stat::reset_stats(UTL_stat_type type)
{
	auto it = all_stats.find(type);
	if (it == all_stats.end()) return;
	for (UTL_stat* s : it->second) s->own_value = 0.0f;
}

UTL_remote_cmd::UTL_remote_cmd(const char* n, void (*f)()) : next(cmd_list), function(f), name(n), id(free_id++)
{
	cmd_list = this;
}

void UTL_remote_cmd::invoke(void*, int want)
{
	for (UTL_remote_cmd* c = cmd_list; c; c = c->next)
		if (c->id == want) {
			if (c->function) c->function();
			return;
		}
}

void UTL_remote_cmd::init_remote_cmds() { inited = 1; }

void UTL_profiler_init() {}
void UTL_profiler_start(const char*) {}
void UTL_profiler_stop() {}
