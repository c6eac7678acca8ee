#include "runtime/hl_exception.h"

#include <cxxabi.h>
#include <stdint.h>

#include <exception>
#include <memory>

#include "platform/plat_cpu.h"
#include "runtime/hl_alert.h"
#include "runtime/hl_globals.h"

std::atomic<int> threads_inited{0};
std::atomic<UTL_thread_handle> main_thread{};
std::atomic<UTL_message_queue*> warn_exce{nullptr};
std::atomic<UTL_message_queue*> quit_exce{nullptr};
std::atomic<UTL_message_queue*> call_queue{nullptr};
THREAD_call* free_calls = nullptr;
UTL_critical_section free_calls_lock;
int next_cookie = 0;
std::vector<UTL_thread_handle> worker_threads, worker_threads_id, worker_threads_join;

namespace {

// No real call can live at the address with every bit set.
void* const quit_marker = reinterpret_cast<void*>(~uintptr_t{0});

const char* safe(const char* s) { return s ? s : ""; }

// The line an exception's log entry begins with: `lead`, then where it was thrown.
std::string heading(const std::string& lead, const char* file, int line)
{
	return lead + safe(file) + ", line " + std::to_string(line) + ".\n";
}

// Off the main thread an alert is posted instead of shown; the main thread's frame
// shows it later.
bool forward_alert(const std::string& l1, const std::string& l2, const std::string& l3, const std::string& l4,
                   int type, const char* file, int line)
{
	if (!THREAD_is_inited() || THREAD_is_main_thread()) return false;
	THREAD_send_exception(exce_class(l1, l2, l3, l4, file, line, type));
	return true;
}

void drain(std::atomic<UTL_message_queue*>& queue)
{
	for (;;) {
		UTL_message_queue* q = queue.load();
		if (!q) return;
		std::unique_ptr<exce_class> e(static_cast<exce_class*>(UTL_message_queue_read(q, 0)));
		if (!e) return;
		e->Report();
	}
}

// Tells the caller of an asynchronous call that it has run.
void answer(THREAD_call* call)
{
	UTL_message_queue_write(call->reply, reinterpret_cast<void*>(static_cast<intptr_t>(call->cookie)));
}

void free_queued_exceptions(UTL_message_queue* q)
{
	if (!q) return;
	while (void* item = UTL_message_queue_read(q, 0)) delete static_cast<exce_class*>(item);
	UTL_message_queue_destroy(q);
}

}  // namespace

exce_class::exce_class(std::string l1, std::string l2, std::string l3, std::string l4, const char* f, int ln,
                       int t)
    : line1(std::move(l1)), line2(std::move(l2)), line3(std::move(l3)), line4(std::move(l4)), file(f), line(ln),
      type(t)
{
}

void exce_class::Report()
{
	if (THREAD_is_inited() && !THREAD_is_main_thread()) {
		DIDIVI_log_alert(heading("EXCEPTION REPORTED FROM THREAD!!  File: ", file, line), line1, line2, line3, line4,
		                 "");
		app_done = 1;
		DIDIVI_finishup(1);
		// Finish-up's callers end the process; nothing could show this alert anyway.
		DIDIVI_alert_exit(1);
	}
	__DIDIVI_alert(0, line1, line2, line3, line4, type, file, line);
}

void exce_class::LogAndContinue()
{
	const std::string lead =
	    std::string("Logging ") + (type != 0 ? "fatal" : "non-fatal") + " Exception thrown from file: ";
	DIDIVI_log_alert(heading(lead, file, line), line1, line2, line3, line4, "");
}

void THREAD_init()
{
	if (!PLAT_mp_fully_initialized())
		__DIDIVI_alert(0, "Unable to initialize MP services.", "", "", "", t_exit, __FILE__, __LINE__);
	main_thread = UTL_get_current_thread();
	UTL_message_queue* q = nullptr;
	UTL_message_queue_create(&q);
	warn_exce = q;
	UTL_message_queue_create(&q);
	quit_exce = q;
	UTL_critical_section_create(&free_calls_lock);
	UTL_message_queue_create(&q);
	call_queue = q;
	DIDIVI_set_alert_forwarder(forward_alert);
	threads_inited = 1;
}

int THREAD_is_inited() { return threads_inited.load(); }

int THREAD_is_main_thread() { return pthread_equal(UTL_get_current_thread(), main_thread.load()) ? 1 : 0; }

void THREAD_make_workers()
{
	int n = UTL_count_processors();
	xer << "CPU count        : " << n << "\n";
	for (int i = 0; i < n; ++i) {
		UTL_thread_handle h1{}, h2{}, h3{};
		THREAD_create(xtaskproc, nullptr, &h1, &h2, &h3, 1);
		worker_threads.push_back(h1);
		worker_threads_join.push_back(h3);
		worker_threads_id.push_back(h2);
	}
}

void THREAD_create(UTL_thread_fn fn, void* arg, UTL_thread_handle* out1, UTL_thread_handle* out2,
                   UTL_thread_handle* out3, int)
{
	// Capability detection always clears the threaded-OpenGL switch in this program,
	// so no thread asks for a loader context.
	THREAD_start_record record{fn, arg, nullptr, 0};
	UTL_message_queue_create(&record.started);
	if (UTL_thread_create(THREAD_launch, &record, out1, out2, out3) == 0)
		UTL_message_queue_read(record.started, -1);
	UTL_message_queue_destroy(record.started);
}

KX_FORCED_UNWIND_CATCHER void* THREAD_launch(void* arg)
{
	auto* record = static_cast<THREAD_start_record*>(arg);
	UTL_thread_fn fn = record->function;
	void* fn_arg = record->argument;
	// The record lives on the creator's stack: after this post it may be gone.
	UTL_message_queue_write(record->started, nullptr);
	try {
		return fn(fn_arg);
	} catch (abi::__forced_unwind&) {
		// The thread is being ended (a quitting alert, pthread_exit): let it end.
		throw;
	} catch (...) {
		THREAD_report_escaped_exception(__FILE__, __LINE__);
	}
	return nullptr;
}

KX_FORCED_UNWIND_CATCHER void THREAD_report_escaped_exception(const char* file, int line)
{
	exce_class e;
	try {
		throw;
	} catch (abi::__forced_unwind&) {
		throw;
	} catch (exce_class& x) {
		e = x;
		e.MakeFatal();
	} catch (std::exception& x) {
		e = exce_class("Caught an unhandled C++ exception", x.what(), "", "", file, line, t_exit);
	} catch (...) {
		e = exce_class("Caught an unhandled unknown exception", "", "", "", file, line, t_exit);
	}
	// Outside the handlers: ending the thread here unwinds no half-finished catch.
	if (THREAD_is_inited())
		THREAD_send_exception(e);
	else
		__DIDIVI_alert(0, e.line1, e.line2, e.line3, e.line4, e.type, e.file, e.line);
}

KX_FORCED_UNWIND_CATCHER void* xtaskproc(void*)
{
	for (;;) {
		void* item = UTL_message_queue_read(call_queue.load(), -1);
		if (item == quit_marker) return nullptr;
		auto* call = static_cast<THREAD_call*>(item);
		if (!call) continue;
		void* result = nullptr;
		try {
			result = call->function(call->argument);
		} catch (...) {
			// The call ends this worker (a quitting alert, or an exception the start
			// routine turns into one). It is still answered, with no result, so that a
			// caller waiting for it goes on and meets the alert.
			answer(call);
			throw;
		}
		UTL_critical_section_lock(&call->lock);
		call->result = result;
		UTL_critical_section_unlock(&call->lock);
		answer(call);
	}
}

THREAD_call* THREAD_run_async(UTL_thread_fn fn, void* arg)
{
	UTL_critical_section_lock(&free_calls_lock);
	// Unsigned arithmetic: the same sequence of cookies, without signed overflow.
	next_cookie = static_cast<int>(static_cast<unsigned>(next_cookie) + 4u);
	if (next_cookie == 0) next_cookie = 4;
	const int cookie = next_cookie;
	THREAD_call* call = free_calls;
	if (call) free_calls = call->next;
	UTL_critical_section_unlock(&free_calls_lock);

	if (!call) {
		call = new THREAD_call;
		UTL_message_queue_create(&call->reply);
		UTL_critical_section_create(&call->lock);
	}
	call->next = nullptr;
	call->function = fn;
	call->argument = arg;
	call->result = nullptr;
	call->done = 0;
	call->cookie = cookie;
	UTL_message_queue_write(call_queue.load(), call);
	return call;
}

int THREAD_is_done(THREAD_call* call, int timeout_ms)
{
	THREAD_check_exception(0);
	void* reply = UTL_message_queue_read(call->reply, timeout_ms);
	THREAD_check_exception(0);
	if (!reply) return 0;
	UTL_critical_section_lock(&call->lock);
	call->done = 1;
	UTL_critical_section_unlock(&call->lock);
	return 1;
}

void* THREAD_cleanup(THREAD_call* call)
{
	THREAD_check_exception(0);
	UTL_critical_section_lock(&call->lock);
	const int done = call->done;
	UTL_critical_section_unlock(&call->lock);
	if (!done)
		__DIDIVI_alert(0, "Thread cleanup called on not-done call.", "", "", "", t_exit, __FILE__, __LINE__);
	UTL_critical_section_lock(&call->lock);
	void* result = call->result;
	UTL_critical_section_unlock(&call->lock);
	UTL_critical_section_lock(&free_calls_lock);
	call->next = free_calls;
	free_calls = call;
	UTL_critical_section_unlock(&free_calls_lock);
	return result;
}

void THREAD_send_exception(const exce_class& e)
{
	if (e.type == t_alert) {
		if (UTL_message_queue* q = warn_exce.load()) UTL_message_queue_write(q, new exce_class(e));
		return;
	}
	if (e.type == t_exit) {
		UTL_message_queue* q = quit_exce.load();
		// Once the layer is down there is nowhere to post and nobody to show it.
		if (!q) return;
		UTL_message_queue_write(q, new exce_class(e));
		if (!THREAD_is_main_thread()) UTL_thread_exit(nullptr);
	}
}

void THREAD_check_exception(int include_warnings)
{
	// Every quitting alert comes before any warning: the first one ends the program.
	drain(quit_exce);
	if (include_warnings) drain(warn_exce);
}

void THREAD_shutdown()
{
	UTL_message_queue* calls = call_queue.load();
	if (!calls) return;
	for (size_t i = 0; i < worker_threads.size(); ++i) UTL_message_queue_write(calls, quit_marker);
	for (size_t i = 0; i < worker_threads.size(); ++i) UTL_thread_join(&worker_threads[i], &worker_threads_join[i]);
	// Joined handles must never be joined again should the layer be started anew.
	worker_threads.clear();
	worker_threads_id.clear();
	worker_threads_join.clear();

	call_queue = nullptr;
	UTL_critical_section_destroy(&free_calls_lock);
	UTL_message_queue_destroy(calls);
	while (THREAD_call* c = free_calls) {
		free_calls = c->next;
		UTL_message_queue_destroy(c->reply);
		UTL_critical_section_destroy(&c->lock);
		delete c;
	}
	// Alerts still queued are not shown any more; only their memory is given back.
	free_queued_exceptions(warn_exce.exchange(nullptr));
	free_queued_exceptions(quit_exce.exchange(nullptr));
	threads_inited = 0;
	xer << "Clean exit from threads.\n";
}
