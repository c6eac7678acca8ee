#pragma once
// The log stream. Worker tasks and the main thread log through the same stream, so
// every statement `xer << a << b << "\n";` is gathered into one piece and written
// whole under one lock when the statement ends: lines of two threads never mix. Each
// statement starts from the stream's notation (start-up sets fixed-point for floats), as
// if all were written to one stream; a manipulator inside a statement lasts for it alone.
#include <atomic>
#include <cstdio>
#include <ios>
#include <mutex>
#include <sstream>
#include <string>
#include <string_view>

class xer_stream;

// `bytes` as a log line may carry them: every control byte is written as an escape ("\n",
// "\r", "\t", else "\xHH"), so text from the network or a file can neither end the line
// it stands in nor write one of its own.
std::string xer_escaped(std::string_view bytes);

class xer_line {
public:
	explicit xer_line(xer_stream& s);
	xer_line(xer_line&& o) noexcept : s_(o.s_), buf_(std::move(o.buf_)), flush_(o.flush_) { o.s_ = nullptr; }
	xer_line(const xer_line&) = delete;
	xer_line& operator=(const xer_line&) = delete;
	~xer_line();

	template <class T>
	xer_line& operator<<(const T& v) { buf_ << v; return *this; }
	xer_line& operator<<(std::ostream& (*m)(std::ostream&));
	xer_line& operator<<(std::ios_base& (*m)(std::ios_base&)) { buf_ << m; return *this; }

private:
	xer_stream* s_;
	std::ostringstream buf_;
	bool flush_ = false;
};

class xer_stream {
public:
	xer_stream() = default;
	~xer_stream() { close(); }
	xer_stream(const xer_stream&) = delete;
	xer_stream& operator=(const xer_stream&) = delete;

	// Opens the log at `path`, emptied, or appended to when `mode` holds app. The log lies
	// where the user keeps files, so only a regular file of that name is written: a link
	// of that name is never followed, and anything else of that name leaves the log
	// closed, as a log that cannot be made.
	void open(const std::string& path, std::ios_base::openmode mode = std::ios_base::out | std::ios_base::trunc);
	bool is_open();
	void close();
	void flush();
	bool good();
	// Sets the notation flags of `mask` to those of `flags` for every later statement;
	// returns the flags before, as std::ios_base::setf does.
	std::ios_base::fmtflags setf(std::ios_base::fmtflags flags, std::ios_base::fmtflags mask);
	std::ios_base::fmtflags flags() const { return flags_.load(); }

	template <class T>
	xer_line operator<<(const T& v) { xer_line l(*this); l << v; return l; }
	xer_line operator<<(std::ostream& (*m)(std::ostream&)) { xer_line l(*this); l << m; return l; }

	// Writes one gathered statement whole; used by xer_line.
	void write_whole(const std::string& text, bool flush);

private:
	std::mutex lock_;
	std::FILE* out_ = nullptr;
	// Read by every statement on any thread, so kept apart from the lock.
	std::atomic<std::ios_base::fmtflags> flags_{std::ios_base::skipws | std::ios_base::dec};  // a new stream's
};
