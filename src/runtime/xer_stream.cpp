#include "runtime/xer_stream.h"

#include <fcntl.h>
#include <unistd.h>

#include "runtime/own_file.h"

namespace {

enum spelling { spell_backslash = 1, keep_layout = 2 };

std::string spelled(std::string_view bytes, int how)
{
	static const char hex[] = "0123456789abcdef";
	constexpr unsigned char first_printable = 0x20, del = 0x7f;
	std::string out;
	out.reserve(bytes.size());
	for (const char ch : bytes) {
		const unsigned char c = static_cast<unsigned char>(ch);
		if (c == '\\' && (how & spell_backslash)) {
			out += "\\\\";
		} else if ((c >= first_printable && c != del) || ((c == '\n' || c == '\t') && (how & keep_layout))) {
			out += ch;
		} else if (c == '\n') {
			out += "\\n";
		} else if (c == '\r') {
			out += "\\r";
		} else if (c == '\t') {
			out += "\\t";
		} else {
			out += "\\x";
			out += hex[c >> 4];
			out += hex[c & 15];
		}
	}
	return out;
}

}  // namespace

std::string xer_escaped(std::string_view bytes) { return spelled(bytes, spell_backslash); }

std::string xer_control_spelled(std::string_view bytes) { return spelled(bytes, 0); }

xer_line::xer_line(xer_stream& s) : s_(&s) { buf_.flags(s.flags()); }

xer_line::~xer_line()
{
	if (s_) s_->write_whole(buf_.str(), flush_);
}

xer_line& xer_line::operator<<(std::string_view s)
{
	buf_ << xer_escaped(s);
	return *this;
}

xer_line& xer_line::operator<<(const xer_own& l)
{
	buf_ << spelled(l.text, keep_layout);
	return *this;
}

xer_line& xer_line::operator<<(std::ostream& (*m)(std::ostream&))
{
	// std::flush and std::endl ask for the file to be flushed; the text goes with the statement.
	if (m == static_cast<std::ostream& (*)(std::ostream&)>(std::flush))
		flush_ = true;
	else if (m == static_cast<std::ostream& (*)(std::ostream&)>(std::endl)) {
		buf_ << '\n';
		flush_ = true;
	} else
		buf_ << m;
	return *this;
}

void xer_stream::open(const std::string& path, std::ios_base::openmode mode)
{
	std::lock_guard<std::mutex> g(lock_);
	if (out_) std::fclose(out_);
	out_ = nullptr;
	const bool append = (mode & std::ios_base::app) != 0;
	const int fd = own_file_open(path, O_WRONLY | O_CREAT | (append ? O_APPEND : 0));
	if (fd < 0) return;
	if ((!append && ::ftruncate(fd, 0) != 0) || !(out_ = ::fdopen(fd, append ? "a" : "w"))) ::close(fd);
}

bool xer_stream::is_open()
{
	std::lock_guard<std::mutex> g(lock_);
	return out_ != nullptr;
}

bool xer_stream::good()
{
	std::lock_guard<std::mutex> g(lock_);
	return out_ && !std::ferror(out_);
}

void xer_stream::close()
{
	std::lock_guard<std::mutex> g(lock_);
	if (out_) std::fclose(out_);
	out_ = nullptr;
}

std::ios_base::fmtflags xer_stream::setf(std::ios_base::fmtflags flags, std::ios_base::fmtflags mask)
{
	std::lock_guard<std::mutex> g(lock_);
	const std::ios_base::fmtflags old = flags_.load();
	flags_.store((old & ~mask) | (flags & mask));
	return old;
}

void xer_stream::flush()
{
	std::lock_guard<std::mutex> g(lock_);
	if (out_) std::fflush(out_);
}

void xer_stream::write_whole(const std::string& text, bool flush)
{
	if (text.empty() && !flush) return;
	std::lock_guard<std::mutex> g(lock_);
	if (!out_) return;  // a closed log swallows its lines, like an unopened ofstream
	std::fwrite(text.data(), 1, text.size(), out_);
	// A finished line goes to the file at once: a logout's SIGTERM or SIGHUP, or a ^C,
	// ends the program without flushing stdio's buffer, and a log that lacks the run's
	// last lines cannot say what happened.
	if (flush || text.find('\n') != std::string::npos) std::fflush(out_);
}
