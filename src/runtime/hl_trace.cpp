#include "runtime/hl_trace.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <atomic>
#include <mutex>

#include "runtime/xtim.h"

namespace {
constexpr char kTraceVar[] = "KESTRIX_SCREEN_TRACE";
constexpr unsigned char kFirstNonAscii = 0x80;
constexpr unsigned char kFirstPrintable = 0x20;
std::mutex g_write_lock;
std::atomic<unsigned> g_modal_lines{0};

const char* trace_file()
{
	const char* f = std::getenv(kTraceVar);
	return f && *f ? f : nullptr;
}

std::string modal_line(const std::string& modal_value, const std::vector<std::string>& texts,
                       const std::vector<std::string>& labels)
{
	return ", \"modal\": " + modal_value + ", \"texts\": " + UTL_trace_json(texts) + ", \"labels\": " +
	       UTL_trace_json(labels);
}
}  // namespace

bool UTL_trace_on() { return trace_file() != nullptr; }

std::string UTL_trace_json(const std::string& s)
{
	std::string out = "\"";
	for (const char ch : s) {
		const auto c = static_cast<unsigned char>(ch);
		if (c == '"' || c == '\\') {
			out += '\\';
			out += ch;
		} else if (c == '\n') {
			out += "\\n";
		} else if (c == '\r') {
			out += "\\r";
		} else if (c == '\t') {
			out += "\\t";
		} else if (c < kFirstPrintable || c == 0x7f) {
			char esc[8];
			std::snprintf(esc, sizeof esc, "\\u%04x", c);
			out += esc;
		} else if (c >= kFirstNonAscii) {
			// Latin-1 is the first 256 code points: two UTF-8 bytes each.
			out += static_cast<char>(0xC0 | (c >> 6));
			out += static_cast<char>(0x80 | (c & 0x3F));
		} else {
			out += ch;
		}
	}
	return out + "\"";
}

std::string UTL_trace_json(const std::vector<std::string>& list)
{
	std::string out = "[";
	for (size_t i = 0; i < list.size(); ++i) out += (i ? ", " : "") + UTL_trace_json(list[i]);
	return out + "]";
}

void UTL_trace_write(const std::string& fields)
{
	const char* file = trace_file();
	if (!file) return;
	const std::string line = "{\"pid\": " + std::to_string(getpid()) + ", \"frame\": " +
	                         std::to_string(xtim.frame_count) + fields + "}\n";
	std::lock_guard<std::mutex> hold(g_write_lock);
	const int fd = open(file, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
	if (fd < 0) return;
	size_t done = 0;
	while (done < line.size()) {
		const ssize_t n = write(fd, line.data() + done, line.size() - done);
		if (n < 0 && errno == EINTR) continue;
		if (n <= 0) break;
		done += static_cast<size_t>(n);
	}
	close(fd);
}

void UTL_trace_modal(int window, const std::vector<std::string>& texts, const std::vector<std::string>& labels)
{
	if (!UTL_trace_on()) return;
	UTL_trace_write(modal_line(std::to_string(window), texts, labels));
	++g_modal_lines;
}

void UTL_trace_modal(const std::string& kind, const std::vector<std::string>& texts,
                     const std::vector<std::string>& labels)
{
	if (!UTL_trace_on()) return;
	UTL_trace_write(modal_line(UTL_trace_json(kind), texts, labels));
	++g_modal_lines;
}

unsigned UTL_trace_modal_count() { return g_modal_lines.load(); }
