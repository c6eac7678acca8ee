#include "runtime/xer_stream.h"

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
	if (out_.is_open()) out_.close();
	out_.clear();
	out_.open(path, mode);
}

bool xer_stream::is_open()
{
	std::lock_guard<std::mutex> g(lock_);
	return out_.is_open();
}

bool xer_stream::good()
{
	std::lock_guard<std::mutex> g(lock_);
	return out_.is_open() && out_.good();
}

void xer_stream::close()
{
	std::lock_guard<std::mutex> g(lock_);
	if (out_.is_open()) out_.close();
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
	if (out_.is_open()) out_.flush();
}

void xer_stream::write_whole(const std::string& text, bool flush)
{
	if (text.empty() && !flush) return;
	std::lock_guard<std::mutex> g(lock_);
	if (!out_.is_open()) return;  // a closed log swallows its lines, like an unopened ofstream
	out_.write(text.data(), static_cast<std::streamsize>(text.size()));
	if (flush) out_.flush();
}
