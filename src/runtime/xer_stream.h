#pragma once
// The log stream. Worker tasks and the main thread log through the same stream, so
// every statement `xer << a << b << "\n";` is gathered into one piece and written
// whole under one lock when the statement ends: lines of two threads never mix. Each
// statement starts from the stream's notation (start-up sets fixed-point for floats), as
// if all were written to one stream; a manipulator inside a statement lasts for it alone.
// A statement with a line end in it reaches the file when it ends, so a signal that ends
// the program loses no finished line.
#include <atomic>
#include <cstdio>
#include <cstring>
#include <ios>
#include <mutex>
#include <sstream>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

class xer_stream;

// `bytes` as a log line may carry them: every control byte is written as an escape ("\n",
// "\r", "\t", else "\xHH") and a backslash as "\\", so text from the network or a file
// can neither end the line it stands in, nor write one of its own, nor pass for an
// escape. The log does this itself for every string it is given (see xer_line); this
// is for text that goes elsewhere first.
std::string xer_escaped(std::string_view bytes);
// The control bytes escaped as above, a backslash left as it stands: how an alert
// draws a name that may hold control bytes. The log escapes such a line once more.
std::string xer_control_spelled(std::string_view bytes);

// A string the program made itself and means as it stands, several lines maybe (a
// report, a header, a line it spelled its own way): written with its line ends and
// tabs and backslashes kept; any other control byte is still escaped.
struct xer_own {
	explicit xer_own(std::string_view t) : text(t) {}
	std::string_view text;
};

// A char pointer, or a char array passed where a pointer is taken: text of unknown origin.
template <class T>
concept xer_text_pointer = std::is_same_v<std::decay_t<T>, const char*> || std::is_same_v<std::decay_t<T>, char*>;

class xer_line {
public:
	explicit xer_line(xer_stream& s);
	xer_line(xer_line&& o) noexcept : s_(o.s_), buf_(std::move(o.buf_)), flush_(o.flush_) { o.s_ = nullptr; }
	xer_line(const xer_line&) = delete;
	xer_line& operator=(const xer_line&) = delete;
	~xer_line();

	template <class T>
		requires(!xer_text_pointer<T>)
	xer_line& operator<<(const T& v) { buf_ << v; return *this; }
	// Text may hold a name from outside (an archive entry, a file-list path, a server's
	// answer, a mount point, a typed name): a string, a string view, a char pointer or a
	// filled char buffer is written escaped, so no caller has to remember to. Only the
	// program's own words, literals and constant char arrays, are written as they stand;
	// its own text in a string goes in xer_own.
	template <std::size_t N>
	xer_line& operator<<(const char (&words)[N]) { buf_ << words; return *this; }
	template <std::size_t N>
	xer_line& operator<<(char (&buffer)[N]) { return *this << std::string_view(buffer, strnlen(buffer, N)); }
	template <class P>
		requires xer_text_pointer<P>
	xer_line& operator<<(P text) { return *this << std::string_view(text ? text : ""); }
	xer_line& operator<<(const std::string& s) { return *this << std::string_view(s); }
	xer_line& operator<<(std::string_view s);
	xer_line& operator<<(const xer_own& l);
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
	xer_line operator<<(T&& v) { xer_line l(*this); l << std::forward<T>(v); return l; }
	xer_line operator<<(std::ostream& (*m)(std::ostream&)) { xer_line l(*this); l << m; return l; }

	// Writes one gathered statement whole; used by xer_line.
	void write_whole(const std::string& text, bool flush);

private:
	std::mutex lock_;
	std::FILE* out_ = nullptr;
	// Read by every statement on any thread, so kept apart from the lock.
	std::atomic<std::ios_base::fmtflags> flags_{std::ios_base::skipws | std::ios_base::dec};  // a new stream's
};
