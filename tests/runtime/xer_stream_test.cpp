#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <iomanip>

#include "runtime/hl_globals.h"
#include "support/archive_tools.h"
#include "support/bounded_wait.h"
#include "support/test_env.h"

// std::flush and std::endl reach the file at once, wherever they stand in the
// statement, and formatting set in one statement does not leak into the next.
TEST(Xer, FlushRequestsReachTheFileAndFormatsStayInTheirStatement)
{
	kx_test::TempEnv env;
	const std::string path = env.path("log.txt");
	xer.open(path);
	ASSERT_TRUE(xer.is_open());
	xer << "first" << std::flush;
	EXPECT_EQ(kx_test::read_file(path), "first");
	xer << std::endl;
	EXPECT_EQ(kx_test::read_file(path), "first\n");
	xer << std::fixed << std::setprecision(1) << 2.25 << std::endl;
	xer << 2.25 << std::endl;
	EXPECT_EQ(kx_test::read_file(path), "first\n2.2\n2.25\n");
	xer.close();
}

// A logout's SIGTERM or SIGHUP, or a ^C, ends the program without flushing stdio: every
// finished line must be in the file already, the last statement's included.
TEST(Xer, EveryFinishedLineIsInTheFileWhenASignalEndsTheProgram)
{
	kx_test::TempEnv env;
	for (const int sig : {SIGTERM, SIGHUP, SIGINT}) {
		SCOPED_TRACE(sig);
		const std::string path = env.path("log" + std::to_string(sig) + ".txt");
		const pid_t pid = fork();
		ASSERT_GE(pid, 0);
		if (pid == 0) {
			signal(sig, SIG_DFL);
			xer.open(path);
			xer << "Starting install at " << 1.5 << "\n";
			xer << "two lines\nin one statement\n";
			raise(sig);
			_exit(0);
		}
		int status = 0;
		ASSERT_TRUE(kx_test::reap_within(pid, &status, "The child that ends by its signal"))
		    << "the child did not end by its signal within " << kx_test::kHangBound.count() << " seconds";
		EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig);
		EXPECT_EQ(kx_test::read_file(path), "Starting install at 1.5\ntwo lines\nin one statement\n");
	}
}

// The log replaces only a regular file of its name; a fifo of that name is neither
// waited on nor written into, and the log then stays closed.
TEST(Xer, OnlyARegularFileIsTheLog)
{
	kx_test::TempEnv env;
	const std::string path = env.path("log.txt");
	ASSERT_TRUE(kx_test::write_file(path, "an older and longer log\n"));
	xer.open(path);
	xer << "new" << std::endl;
	EXPECT_EQ(kx_test::read_file(path), "new\n");
	xer.close();

	const std::string fifo = env.path("fifo");
	ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
	kx_test::finishes_within("opening the log on a fifo nobody reads", [&] { xer.open(fifo); });
	EXPECT_FALSE(xer.is_open());

	const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
	ASSERT_GE(reader, 0);
	xer.open(fifo);
	EXPECT_FALSE(xer.is_open());
	xer << "into the fifo" << std::endl;
	char got[16];
	EXPECT_LE(read(reader, got, sizeof got), 0);
	close(reader);
}
