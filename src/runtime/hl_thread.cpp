#include "runtime/hl_thread.h"

#include <errno.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "platform/plat_cpu.h"
#include "runtime/hl_alert.h"
#include "runtime/hl_globals.h"

namespace {

// The error number is shown as a float ("err=22.000000"). It is formatted into a local
// string: worker threads raise these alerts too, and the shared scratch string of the
// main thread is no place for them.
void os_error(const char* call, int err, int line)
{
	char num[64];
	std::snprintf(num, sizeof(num), "err=%f", static_cast<double>(err));
	__DIDIVI_alert(0, call, num, "", "", t_exit, __FILE__, line);
}

#define KX_CHECK(expr, text)                               \
	do {                                                   \
		int kx_err_ = (expr);                              \
		if (kx_err_ != 0) os_error((text), kx_err_, __LINE__); \
	} while (0)

}  // namespace

int UTL_thread_create(UTL_thread_fn fn, void* arg, UTL_thread_handle* out1, UTL_thread_handle* out2,
                      UTL_thread_handle* out3)
{
	int err = pthread_create(out1, nullptr, fn, arg);
	if (err != 0) os_error("\"pthread_create\" OS error", err, __LINE__);
	if (err == 0) {
		*out2 = *out1;
		*out3 = *out1;
	}
	return err;
}

void* UTL_thread_join(UTL_thread_handle* h, UTL_thread_handle*)
{
	void* value = nullptr;
	int err = pthread_join(*h, &value);
	if (err != 0) {
		xer << "Warning: wait on thread cleanup failed with error " << err << "\n";
		return nullptr;
	}
	return value;
}

void UTL_thread_exit(void* value) { pthread_exit(value); }

int UTL_thread_murder(UTL_thread_handle* h) { return pthread_cancel(*h); }

void UTL_sleep(int ms)
{
	if (ms < 1) return;
	usleep(static_cast<useconds_t>(ms) * 1000u);
}

UTL_thread_handle UTL_get_current_thread() { return pthread_self(); }

int UTL_count_processors() { return PLAT_count_processors(); }

void UTL_critical_section_create(UTL_critical_section* m)
{
	pthread_mutexattr_t attr;
	KX_CHECK(pthread_mutexattr_init(&attr), "\"::pthread_mutexattr_init\" OS error");
	KX_CHECK(pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE), "\"::pthread_mutexattr_settype\" OS error");
	KX_CHECK(pthread_mutex_init(m, &attr), "\"::pthread_mutex_init\" OS error");
	KX_CHECK(pthread_mutexattr_destroy(&attr), "\"::pthread_mutexattr_destroy\" OS error");
}

void UTL_critical_section_destroy(UTL_critical_section* m)
{
	KX_CHECK(pthread_mutex_destroy(m), "\"::pthread_mutex_destroy\" OS error");
}

void UTL_critical_section_lock(UTL_critical_section* m)
{
	KX_CHECK(pthread_mutex_lock(m), "\"pthread_mutex_lock\" OS error");
}

void UTL_critical_section_unlock(UTL_critical_section* m)
{
	KX_CHECK(pthread_mutex_unlock(m), "\"pthread_mutex_unlock\" OS error");
}

void UTL_message_queue_create(UTL_message_queue** out)
{
	UTL_message_queue* q = new UTL_message_queue;
	*out = q;
	KX_CHECK(pthread_mutex_init(&q->mutex, nullptr), "\"::pthread_mutex_init\" OS error");
	// Timed reads measure their deadline on the monotonic clock, so a change of the
	// wall clock can neither cut a wait short nor make it last for hours.
	pthread_condattr_t attr;
	pthread_condattr_init(&attr);
	pthread_condattr_setclock(&attr, CLOCK_MONOTONIC);
	KX_CHECK(pthread_cond_init(&q->cond, &attr), "\"::pthread_cond_init\" OS error");
	pthread_condattr_destroy(&attr);
}

void UTL_message_queue_destroy(UTL_message_queue* q)
{
	if (!q) return;
	KX_CHECK(pthread_mutex_destroy(&q->mutex), "\"::pthread_mutex_destroy\" OS error");
	KX_CHECK(pthread_cond_destroy(&q->cond), "\"::pthread_cond_desroy\" OS error");
	delete q;
}

void UTL_message_queue_write(UTL_message_queue* q, void* item)
{
	KX_CHECK(pthread_mutex_lock(&q->mutex), "\"pthread_mutex_lock\" OS error");
	if (q->waiting_readers > 0) KX_CHECK(pthread_cond_signal(&q->cond), "\"pthread_cond_signal\" OS error");
	q->items.push_back(item);
	KX_CHECK(pthread_mutex_unlock(&q->mutex), "\"pthread_mutex_unlock\" OS error");
}

timespec UTL_message_queue_deadline(const timespec& now, int timeout_ms)
{
	timespec d = now;
	d.tv_sec += timeout_ms / 1000;
	d.tv_nsec += static_cast<long>(timeout_ms % 1000) * 1000000L;
	if (d.tv_nsec > 999999999L) {
		d.tv_nsec -= 1000000000L;
		d.tv_sec += 1;
	}
	return d;
}

void* UTL_message_queue_read(UTL_message_queue* q, int timeout_ms)
{
	// Any negative time-out other than "forever" is a poll: it cannot wait for anything
	// and must not turn into a deadline the wait call rejects.
	const bool poll = timeout_ms == 0 || (timeout_ms < 0 && timeout_ms != -1);
	const bool forever = timeout_ms == -1;

	timespec deadline{};
	if (!poll && !forever) {
		timespec now;
		clock_gettime(CLOCK_MONOTONIC, &now);
		deadline = UTL_message_queue_deadline(now, timeout_ms);
	}

	KX_CHECK(pthread_mutex_lock(&q->mutex), "\"pthread_mutex_lock\" OS error");
	if (poll) {
		if (q->items.empty()) {
			KX_CHECK(pthread_mutex_unlock(&q->mutex), "\"pthread_mutex_unlock\" OS error");
			return nullptr;
		}
	} else {
		q->waiting_readers += 1;
		while (q->items.empty()) {
			int err = forever ? pthread_cond_wait(&q->cond, &q->mutex)
			                  : pthread_cond_timedwait(&q->cond, &q->mutex, &deadline);
			if (err == ETIMEDOUT) {
				q->waiting_readers -= 1;
				KX_CHECK(pthread_mutex_unlock(&q->mutex), "\"pthread_mutex_unlock\" OS error");
				return nullptr;
			}
			if (err != 0) os_error("\"pthread_cond_timedwait\" OS error", err, __LINE__);
		}
		q->waiting_readers -= 1;
	}
	void* item = q->items.front();
	q->items.pop_front();
	KX_CHECK(pthread_mutex_unlock(&q->mutex), "\"pthread_mutex_unlock\" OS error");
	return item;
}
