#pragma once
// Alerts across threads, and the framework's small thread layer. An alert raised on a
// worker thread cannot be shown there: it is packed into an exce_class, posted to one
// of two process-wide queues and shown later by the main thread's frame. The layer
// also records which thread is the main thread, starts one general worker per
// processor, offers asynchronous calls on them and stops everything at finish-up.
#include <atomic>
#include <string>
#include <vector>

#include "runtime/hl_thread.h"

class exce_class {
public:
	exce_class() = default;
	exce_class(std::string l1, std::string l2, std::string l3, std::string l4, const char* file, int line,
	           int type);
	exce_class(const exce_class&) = default;
	exce_class& operator=(const exce_class&) = default;
	virtual ~exce_class() = default;

	void MakeFatal() { type = 2; }
	// Shows the alert on the main thread; anywhere else logs it and ends the program.
	void Report();
	void LogAndContinue();

	std::string line1, line2, line3, line4;
	const char* file = "no exception";  // a static string, not owned
	int line = 0;
	int type = 2;  // t_alert: show and go on; t_exit: show, finish up and exit
};

// One asynchronous call on a general worker; pooled and reused.
struct THREAD_call {
	THREAD_call* next = nullptr;
	UTL_message_queue* reply = nullptr;  // receives the cookie once the call has run
	UTL_critical_section lock;
	UTL_thread_fn function = nullptr;
	void* argument = nullptr;
	void* result = nullptr;
	int done = 0;
	int cookie = 0;  // never 0
};

// Lives on the creating thread's stack while THREAD_create waits for the thread.
struct THREAD_start_record {
	UTL_thread_fn function;
	void* argument;
	UTL_message_queue* started;
	int want_gl;
};

extern std::atomic<int> threads_inited;
extern std::atomic<UTL_thread_handle> main_thread;
extern std::atomic<UTL_message_queue*> warn_exce;
extern std::atomic<UTL_message_queue*> quit_exce;
extern std::atomic<UTL_message_queue*> call_queue;
extern THREAD_call* free_calls;
extern UTL_critical_section free_calls_lock;
extern int next_cookie;
extern std::vector<UTL_thread_handle> worker_threads, worker_threads_id, worker_threads_join;

void THREAD_init();
int THREAD_is_inited();
int THREAD_is_main_thread();
void THREAD_make_workers();
// Starts fn(arg) and returns once the thread runs. A thread that would want a shared
// OpenGL loader context runs without one: threaded OpenGL is never switched on here.
void THREAD_create(UTL_thread_fn fn, void* arg, UTL_thread_handle* handle_out_1, UTL_thread_handle* handle_out_2,
                   UTL_thread_handle* handle_out_3, int want_gl);
void* THREAD_launch(void* record);
void* xtaskproc(void* arg);
THREAD_call* THREAD_run_async(UTL_thread_fn fn, void* arg);
int THREAD_is_done(THREAD_call* call, int timeout_ms);
void* THREAD_cleanup(THREAD_call* call);
// Posts a copy: type 1 as a warning, type 2 as a quitting alert (which then ends the
// calling thread unless it is the main thread); other types are dropped.
void THREAD_send_exception(const exce_class& e);
// Reports every posted quitting alert, then, when asked, every warning.
void THREAD_check_exception(int include_warnings);
void THREAD_shutdown();

// For a catch-all on a thread's path: turns the exception being handled into a
// quitting alert for the main thread (which ends the calling thread). A forced unwind
// (the thread is already ending) is rethrown untouched.
void THREAD_report_escaped_exception(const char* file, int line);
