#pragma once
// The checksum scan's work unit: digests the wanted versions of a half-open range of
// histories on a pool thread.
#include <string>

#include "runtime/UTL_thread.h"

class checksum_task : public UTL_work_task {
public:
	int first;  // first history
	int last;   // one past the last history

	checksum_task(int first, int last) : first(first), last(last) {}
	// Writes only sig_have and have of the wanted versions in its own range.
	void do_it() override;
	// A scan task never fails: a file that cannot be read is simply absent.
	int check_error(std::string& msg) override;
};
