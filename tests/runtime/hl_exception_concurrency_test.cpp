#include <gtest/gtest.h>

#include <climits>
#include <latch>
#include <stdexcept>

#include "runtime/hl_alert.h"
#include "runtime/hl_exception.h"
#include "runtime/hl_globals.h"
#include "support/test_env.h"

namespace {

// Starts the thread layer with the log in a private folder and alerts recorded; stops
// it again at the end of the test.
class ThreadLayer : public ::testing::Test {
protected:
	void SetUp() override
	{
		xer.open(env.path("log.txt"));
		THREAD_init();
	}
	void TearDown() override
	{
		if (THREAD_is_inited()) THREAD_shutdown();
		xer.close();
		app_done = 0;
	}
	std::string log()
	{
		xer.flush();
		return kx_test::read_file(env.path("log.txt"));
	}
	// Runs fn on a thread of its own (not the main thread) and waits for it to end.
	static void* on_worker(void* (*fn)(void*), void* arg)
	{
		UTL_thread_handle h1{}, h2{}, h3{};
		EXPECT_EQ(UTL_thread_create(fn, arg, &h1, &h2, &h3), 0);
		return UTL_thread_join(&h1, &h2);
	}

	kx_test::TempEnv env;
	kx_test::AlertRecorder rec;
};

TEST_F(ThreadLayer, MainThreadRecordedAndSendingOnItReturns)
{
	EXPECT_EQ(THREAD_is_inited(), 1);
	EXPECT_EQ(THREAD_is_main_thread(), 1);
	// A quitting alert sent on the main thread is posted; the main thread goes on.
	THREAD_send_exception(exce_class("q", "", "", "", "here.cpp", 3, t_exit));
	EXPECT_THROW(THREAD_check_exception(0), kx_test::AlertExit);
	auto a = rec.alerts();
	ASSERT_EQ(a.size(), 1u);
	EXPECT_EQ(a[0].line1, "q");
	EXPECT_EQ(a[0].file, "here.cpp");
	EXPECT_EQ(a[0].line, 3);
}

// Every quitting alert is reported before any warning, whatever the posting order; a
// check without warnings leaves them queued; other types never travel.
TEST_F(ThreadLayer, QuittingAlertsReportedBeforeWarnings)
{
	THREAD_send_exception(exce_class("warn 1", "", "", "", "w.cpp", 1, t_alert));
	THREAD_send_exception(exce_class("language", "", "", "", "l.cpp", 1, t_lang));
	THREAD_send_exception(exce_class("quit", "", "", "", "q.cpp", 2, t_exit));
	THREAD_send_exception(exce_class("warn 2", "", "", "", "w.cpp", 3, t_alert));

	EXPECT_THROW(THREAD_check_exception(1), kx_test::AlertExit);
	auto a = rec.alerts();
	ASSERT_EQ(a.size(), 1u);
	EXPECT_EQ(a[0].line1, "quit");

	THREAD_check_exception(0);
	EXPECT_EQ(rec.alerts().size(), 1u);

	THREAD_check_exception(1);
	a = rec.alerts();
	ASSERT_EQ(a.size(), 3u);
	EXPECT_EQ(a[1].line1, "warn 1");
	EXPECT_EQ(a[2].line1, "warn 2");
	EXPECT_EQ(a[2].type, t_alert);
	THREAD_check_exception(1);
	EXPECT_EQ(rec.alerts().size(), 3u);
}

// A failing pthread call on a worker ends only that thread: the alert is posted, the
// process goes on and the main thread shows it.
TEST_F(ThreadLayer, WorkerEndedByQuittingAlertWithoutAbortingProcess)
{
	static UTL_critical_section m;
	static int reached_after = 0;
	UTL_critical_section_create(&m);
	void* exit_value = on_worker(
	    [](void*) -> void* {
#ifdef __SANITIZE_THREAD__
		    // The thread sanitizer stops at the unlock of a lock nobody holds.
		    __DIDIVI_alert(0, "\"pthread_mutex_unlock\" OS error", "err=1.000000", "", "", t_exit, __FILE__,
		                   __LINE__);
#else
		    UTL_critical_section_unlock(&m);  // not held: fails
#endif
		    reached_after = 1;
		    return &reached_after;
	    },
	    nullptr);
	EXPECT_EQ(exit_value, nullptr);
	EXPECT_EQ(reached_after, 0);
	EXPECT_TRUE(rec.alerts().empty());
	EXPECT_THROW(THREAD_check_exception(0), kx_test::AlertExit);
	auto a = rec.alerts();
	ASSERT_EQ(a.size(), 1u);
	EXPECT_EQ(a[0].line1, "\"pthread_mutex_unlock\" OS error");
	EXPECT_EQ(a[0].line2.rfind("err=", 0), 0u);
	UTL_critical_section_destroy(&m);
}

TEST_F(ThreadLayer, WorkerWarningContinuesAndLanguageAlertDropped)
{
	static int finished;
	finished = 0;
	on_worker(
	    [](void*) -> void* {
		    DIDIVI_ALERT("careful", "2", "3", "4", t_alert);
		    DIDIVI_ALERT("-", "-", "-", "-", t_lang);
		    finished = 1;
		    return nullptr;
	    },
	    nullptr);
	EXPECT_EQ(finished, 1);
	EXPECT_TRUE(rec.alerts().empty());
	THREAD_check_exception(1);
	auto a = rec.alerts();
	ASSERT_EQ(a.size(), 1u);
	EXPECT_EQ(a[0].line1, "careful");
	EXPECT_EQ(a[0].line4, "4");
	EXPECT_EQ(a[0].type, t_alert);
}

// Exceptions escaping a thread's function become quitting alerts for the main thread.
TEST_F(ThreadLayer, EscapingExceptionsBecomeQuittingAlerts)
{
	UTL_thread_handle h1{}, h2{}, h3{};
	THREAD_create([](void*) -> void* { throw std::runtime_error("no more room"); }, nullptr, &h1, &h2, &h3, 1);
	UTL_thread_join(&h1, &h2);
	THREAD_create([](void*) -> void* { throw 42; }, nullptr, &h1, &h2, &h3, 0);
	UTL_thread_join(&h1, &h2);
	THREAD_create([](void*) -> void* { throw exce_class("own", "x", "", "", "own.cpp", 7, t_alert); }, nullptr, &h1,
	              &h2, &h3, 0);
	UTL_thread_join(&h1, &h2);

	for (int i = 0; i < 3; ++i) EXPECT_THROW(THREAD_check_exception(1), kx_test::AlertExit);
	auto a = rec.alerts();
	ASSERT_EQ(a.size(), 3u);
	EXPECT_EQ(a[0].line1, "Caught an unhandled C++ exception");
	EXPECT_EQ(a[0].line2, "no more room");
	EXPECT_EQ(a[1].line1, "Caught an unhandled unknown exception");
	EXPECT_EQ(a[1].line2, "");
	EXPECT_EQ(a[2].line1, "own");
	EXPECT_EQ(a[2].file, "own.cpp");
	EXPECT_EQ(a[2].type, t_exit);  // made fatal on the way
	for (const auto& x : a) EXPECT_EQ(x.type, t_exit);
}

TEST_F(ThreadLayer, AsyncCallsRunOnGeneralWorkers)
{
	next_cookie = 0;
	THREAD_make_workers();
	EXPECT_EQ(static_cast<int>(worker_threads.size()), UTL_count_processors());
	EXPECT_NE(log().find("CPU count        : " + std::to_string(UTL_count_processors()) + "\n"), std::string::npos);

	std::latch gate(1);
	THREAD_call* call = THREAD_run_async(
	    [](void* a) -> void* {
		    static_cast<std::latch*>(a)->wait();
		    return a;
	    },
	    &gate);
	EXPECT_EQ(call->cookie, 4);
	EXPECT_EQ(THREAD_is_done(call, 0), 0);
	EXPECT_THROW(THREAD_cleanup(call), kx_test::AlertExit);
	ASSERT_EQ(rec.alerts().size(), 1u);
	EXPECT_EQ(rec.alerts()[0].line1, "Thread cleanup called on not-done call.");
	gate.count_down();
	EXPECT_EQ(THREAD_is_done(call, -1), 1);
	// The reply is consumed: a call is seen done once.
	EXPECT_EQ(THREAD_is_done(call, 0), 0);
	EXPECT_EQ(THREAD_cleanup(call), &gate);

	// Finished calls are reused.
	THREAD_call* again = THREAD_run_async([](void*) -> void* { return nullptr; }, nullptr);
	EXPECT_EQ(again, call);
	EXPECT_EQ(again->cookie, 8);
	EXPECT_EQ(THREAD_is_done(again, -1), 1);
	EXPECT_EQ(THREAD_cleanup(again), nullptr);

	THREAD_shutdown();
	EXPECT_TRUE(worker_threads.empty());
	EXPECT_NE(log().find("Clean exit from threads.\n"), std::string::npos);
}

TEST_F(ThreadLayer, CookieNeverZeroAndWrapsWithoutOverflow)
{
	next_cookie = -4;
	THREAD_call* c = THREAD_run_async([](void*) -> void* { return nullptr; }, nullptr);
	EXPECT_EQ(c->cookie, 4);
	next_cookie = INT_MAX - 1;
	THREAD_call* d = THREAD_run_async([](void*) -> void* { return nullptr; }, nullptr);
	EXPECT_EQ(d->cookie, INT_MIN + 2);
	// No workers were started: run the two calls here so they can be freed.
	for (THREAD_call* x : {c, d}) {
		UTL_thread_handle h1{}, h2{}, h3{};
		THREAD_create(xtaskproc, nullptr, &h1, &h2, &h3, 0);
		EXPECT_EQ(THREAD_is_done(x, -1), 1);
		THREAD_cleanup(x);
		UTL_message_queue_write(call_queue.load(), reinterpret_cast<void*>(~uintptr_t{0}));
		UTL_thread_join(&h1, &h2);
	}
}

// A call that ends its worker with a quitting alert is still answered, so a caller
// waiting for it goes on and meets the alert instead of waiting for ever.
TEST_F(ThreadLayer, CallEndingItsWorkerIsStillAnswered)
{
	THREAD_make_workers();
	THREAD_call* call = THREAD_run_async(
	    [](void*) -> void* {
		    DIDIVI_ALERT("call failed", "", "", "", t_exit);
		    return reinterpret_cast<void*>(1);
	    },
	    nullptr);
	EXPECT_THROW(THREAD_is_done(call, -1), kx_test::AlertExit);
	ASSERT_EQ(rec.alerts().size(), 1u);
	EXPECT_EQ(rec.alerts()[0].line1, "call failed");
	// The alert ended the check before the call was marked done; mark it here so that
	// it goes back to the pool and is freed at shut-down.
	call->done = 1;
	EXPECT_EQ(THREAD_cleanup(call), nullptr);
}

// Off the main thread nothing can be shown: the alert is logged and the program ends.
TEST_F(ThreadLayer, ReportOffMainThreadLogsFinishesUpAndExits)
{
	static int finishup_save, exited;
	finishup_save = -1;
	exited = 0;
	finishup_fn old = DIDIVI_set_finishup([](int save) { finishup_save = save; });
	on_worker(
	    [](void*) -> void* {
		    exce_class e("first", "second", "third", "fourth", "task.cpp", 12, t_alert);
		    try {
			    e.Report();
		    } catch (kx_test::AlertExit& x) {
			    exited = x.status;
		    }
		    return nullptr;
	    },
	    nullptr);
	DIDIVI_set_finishup(old);
	EXPECT_EQ(exited, 1);
	EXPECT_EQ(finishup_save, 1);
	EXPECT_EQ(app_done, 1);
	EXPECT_TRUE(rec.alerts().empty());
	EXPECT_NE(log().find("EXCEPTION REPORTED FROM THREAD!!  File: task.cpp, line 12.\nfirst\nsecond\nthird\nfourth\n"),
	          std::string::npos);
}

TEST_F(ThreadLayer, LogAndContinueWritesBlock)
{
	exce_class("a", "b", "c", "d", "f.cpp", 9, t_exit).LogAndContinue();
	exce_class("e", "", "", "", "g.cpp", 1, 0).LogAndContinue();
	exce_class("h\nFORGED: x\x1b[31m", "", "", "", "h.cpp", 2, 0).LogAndContinue();
	const std::string l = log();
	EXPECT_NE(l.find("h.cpp, line 2.\nh\\nFORGED: x\\x1b[31m\n\n\n\n"), std::string::npos) << l;
	EXPECT_EQ(kx_test::log_breakout(l, "FORGED"), "");
	EXPECT_NE(l.find("Logging fatal Exception thrown from file: f.cpp, line 9.\na\nb\nc\nd\n"), std::string::npos);
	EXPECT_NE(l.find("Logging non-fatal Exception thrown from file: g.cpp, line 1.\ne\n\n\n\n"), std::string::npos);
	exce_class def;
	EXPECT_STREQ(def.file, "no exception");
	EXPECT_EQ(def.type, 2);
}

// Once the layer is down its queues are gone: sending and checking do nothing, and
// alerts on the main thread go straight to the presenter again.
TEST_F(ThreadLayer, AfterShutdownSendingAndCheckingDoNothing)
{
	THREAD_send_exception(exce_class("left over", "", "", "", "x.cpp", 1, t_alert));
	THREAD_shutdown();
	EXPECT_EQ(THREAD_is_inited(), 0);
	EXPECT_EQ(warn_exce.load(), nullptr);
	EXPECT_EQ(quit_exce.load(), nullptr);
	EXPECT_EQ(call_queue.load(), nullptr);
	THREAD_send_exception(exce_class("late", "", "", "", "x.cpp", 1, t_exit));
	THREAD_check_exception(1);
	EXPECT_TRUE(rec.alerts().empty());
	DIDIVI_ALERT("direct", "", "", "", t_alert);
	ASSERT_EQ(rec.alerts().size(), 1u);
	EXPECT_EQ(rec.alerts()[0].line1, "direct");
}

}  // namespace
