#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <thread>
#include <vector>

#include "runtime/hl_globals.h"
#include "support/test_env.h"

// Eight threads log 1000 lines each through the shared log; every line must come out
// whole, none lost, none interleaved with another.
TEST(XerConcurrency, EightThreadsEachLineWhole)
{
	kx_test::TempEnv env;
	const std::string path = env.path("log.txt");
	xer.open(path);
	ASSERT_TRUE(xer.is_open());
	std::vector<std::thread> ts;
	for (int t = 0; t < 8; ++t)
		ts.emplace_back([t] {
			for (int i = 0; i < 1000; ++i) xer << "thread " << t << " line " << i << " end" << "\n";
		});
	for (auto& th : ts) th.join();
	xer.close();

	std::istringstream in(kx_test::read_file(path));
	std::string l;
	std::set<std::pair<int, int>> seen;
	int count = 0;
	while (std::getline(in, l)) {
		int t = -1, i = -1;
		char end[8] = {};
		ASSERT_EQ(std::sscanf(l.c_str(), "thread %d line %d %3s", &t, &i, end), 3) << l;
		ASSERT_STREQ(end, "end") << l;
		seen.insert({t, i});
		++count;
	}
	EXPECT_EQ(count, 8000);
	EXPECT_EQ(seen.size(), 8000u);
}

TEST(XerConcurrency, ClosedLogSwallowsLines)
{
	xer.close();
	xer << "nothing " << 1 << "\n";  // must not crash or throw
	EXPECT_FALSE(xer.is_open());
}
