#pragma once
// The framework's thin layer over POSIX threads: starting, joining and ending
// threads, recursive locks (critical sections) and a message queue of untyped items
// with a read time-out in milliseconds. Everything above it (the thread layer, the
// worker pools, texture locks) uses only these calls. A failing pthread call is a
// quitting alert naming the call; if that alert returns (alerts only logged), the
// operation goes on as if the call had succeeded.
#include <pthread.h>
#include <time.h>

#include <list>

// A thread ended by pthread_exit (a quitting alert off the main thread) unwinds with
// abi::__forced_unwind, which every catch-all on a thread's path must rethrow first.
// That exception has no object, so catching it by reference trips the null-reference
// check of the undefined-behaviour sanitizer; functions holding such a catch are exempt.
#define KX_FORCED_UNWIND_CATCHER __attribute__((no_sanitize("null")))

using UTL_thread_handle = pthread_t;
using UTL_critical_section = pthread_mutex_t;
using UTL_thread_fn = void* (*)(void*);

// Items are not owned: destroying a queue frees its nodes, never what they point to.
// A null item may be posted; a reader cannot tell it from an empty read.
struct UTL_message_queue {
	pthread_mutex_t mutex;
	pthread_cond_t cond;
	std::list<void*> items;  // oldest first
	int waiting_readers = 0;
};

// Starts fn(arg); the handle goes to *out1 and, on success, also to *out2 and *out3.
// Returns pthread_create's result.
int UTL_thread_create(UTL_thread_fn fn, void* arg, UTL_thread_handle* out1, UTL_thread_handle* out2,
                      UTL_thread_handle* out3);
// Waits for the thread in *h and returns its exit value; h2 is not used. A failed
// join is only logged, and the value is then null.
void* UTL_thread_join(UTL_thread_handle* h, UTL_thread_handle* h2);
[[noreturn]] void UTL_thread_exit(void* value);
int UTL_thread_murder(UTL_thread_handle* h);
// Sleeps ms milliseconds; below 1 returns at once.
void UTL_sleep(int ms);
UTL_thread_handle UTL_get_current_thread();
int UTL_count_processors();

void UTL_critical_section_create(UTL_critical_section* m);
void UTL_critical_section_destroy(UTL_critical_section* m);
void UTL_critical_section_lock(UTL_critical_section* m);
void UTL_critical_section_unlock(UTL_critical_section* m);

void UTL_message_queue_create(UTL_message_queue** out);
// No reader or writer may be inside the queue; queued items are dropped, not freed.
void UTL_message_queue_destroy(UTL_message_queue* q);
// Appends the item, waking one blocked reader.
void UTL_message_queue_write(UTL_message_queue* q, void* item);
// The oldest item, or null when none came in time: timeout 0 (or any negative value
// other than -1) polls, -1 waits without limit, a positive value waits that many
// milliseconds at most.
void* UTL_message_queue_read(UTL_message_queue* q, int timeout_ms);
// The deadline of a timed read started at now (monotonic clock).
timespec UTL_message_queue_deadline(const timespec& now, int timeout_ms);
