#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "runtime/hl_debug.h"
#include "runtime/hl_globals.h"
#include "runtime/hl_mem.h"
#include "support/test_env.h"

// Exported and not inlined, so the walk can name it.
extern "C" __attribute__((noinline)) void kx_conc_walk_here(std::string* out)
{
	char* buf = nullptr;
	size_t len = 0;
	FILE* f = open_memstream(&buf, &len);
	UTL_dump_stack(f, nullptr, nullptr);
	std::fclose(f);
	out->assign(buf, len);
	std::free(buf);
	asm volatile("" ::: "memory");
}

// Each thread walks its own stack, whose outer end the thread library leaves in no
// particular state, while others allocate and one writes memory reports.
TEST(DebugConcurrency, WalksAndReportsOnManyThreads)
{
	kx_test::TempEnv env;
	const std::string saved = app_path;
	app_path = env.root();
	constexpr int kThreads = 6;
	std::vector<std::string> walks(kThreads);
	std::vector<std::thread> threads;
	for (int t = 0; t < kThreads; ++t)
		threads.emplace_back([t, &walks] {
			std::vector<std::string*> junk;
			for (int i = 0; i < 200; ++i) junk.push_back(new std::string(static_cast<size_t>(16 + i * t), 'x'));
			kx_conc_walk_here(&walks[static_cast<size_t>(t)]);
			if (t == 0) dump_mem_stats("from a worker");
			for (std::string* s : junk) delete s;
		});
	dump_mem_stats("from the main thread");
	for (std::thread& th : threads) th.join();
	app_path = saved;

	for (const std::string& w : walks) {
		EXPECT_EQ(w.rfind("  0) kx_conc_walk_here + ", 0), 0u) << w;
		size_t lines = 0;
		for (char c : w) lines += c == '\n';
		EXPECT_LE(lines, 100u);
	}
	const std::string log = kx_test::read_file(env.path("MemoryLog.txt"));
	EXPECT_NE(log.find("dump_mem_stats: from a worker\n"), std::string::npos);
	EXPECT_NE(log.find("dump_mem_stats: from the main thread\n"), std::string::npos);
}
