#include "runtime/http.h"

#include <strings.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

#include "runtime/PCSBSocketUDP.h"
#include "runtime/hl_alert.h"
#include "runtime/hl_errors.h"
#include "runtime/hl_globals.h"
#include "runtime/hl_math.h"
#include "runtime/xtim.h"

http_class http;
std::vector<std::string> gProxyExclude;

namespace {

constexpr long read_chunk_size = 65536;
// One read buffer for every download: all polling happens on the frame's thread.
char readChunk[read_chunk_size];

constexpr uint16_t http_port = 80;
constexpr int status_final_min = 200;
constexpr int status_ok_max = 299;

// A status line: "HTTP/" at the front and three digits at 9..11, so at least 12 bytes;
// the reason phrase starts at 13.
constexpr char status_prefix[] = "HTTP/";
constexpr size_t status_prefix_len = sizeof status_prefix - 1;
constexpr size_t status_line_min = 12;
constexpr size_t status_code_at = 9;
constexpr size_t status_code_len = 3;
constexpr size_t status_text_at = 13;
// More digits than this cannot be a length any file system holds.
constexpr size_t length_digits_max = 18;
// The one transfer coding the downloader reads; any other leaves the body unreadable.
constexpr char coding_header[] = "Transfer-Encoding";
constexpr char coding_chunked[] = "chunked";
// A chunk size past this would overflow when the next digit comes.
constexpr long long chunk_size_max = LLONG_MAX >> 4;

constexpr const char* http_source = "VAvered/OOPS_cpp/http";
constexpr int line_slot = 232;
constexpr int line_server_slash = 247;
constexpr int line_path_slash = 248;

// The quitting alerts of the callers' conventions.
const char* const kSlashServer[3] = {
    "net_check error! You have a dirchar at the end of the server name!", "You should not!",
    "Our convention is that a server name is simply a server name... with no slash!"};
const char* const kSlashPath[3] = {
    "net_check error! You do not have a dirchar at the beginning of the directory name!", "You should!",
    ("Our convention is that a directory name does start with a slash because it must include the hard "
     "drive,which is a dir char on unix!")};

// A server name the downloader's rule refuses (http_plain_host_name).
constexpr char kBadServerLine[] = "WARNING: refusing to download from a server name that is not a plain host name: ";

// The labels of the log's diagnostics block, in order.
const char* const kDiagLabels[] = {"HTTP Error for ", "   server     =", "   file       =", "   IsDone     =",
                                   "   IsComplete =", "   IsErr      =", "   GetStat    =", "   GetOSErr   =",
                                   "   response   ="};

// Bytes that may not stand in a request path as they are.
bool needs_escape(unsigned char c)
{
	if (c < 0x20 || c >= 0x7f) return true;
	return std::strchr(" \"#%<>?\\^{|}`", c) != nullptr;
}

bool is_blank(char c) { return c == ' ' || c == '\t'; }

// The value of a hexadecimal digit, or -1.
int hex_value(char c)
{
	if (c >= '0' && c <= '9') return c - '0';
	if (c >= 'a' && c <= 'f') return c - 'a' + 10;
	if (c >= 'A' && c <= 'F') return c - 'A' + 10;
	return -1;
}

// A decimal length, or -1 when the text is not one.
long long parse_length(const std::string& text)
{
	if (text.empty() || text.size() > length_digits_max) return -1;
	long long v = 0;
	for (char c : text) {
		if (c < '0' || c > '9') return -1;
		v = v * 10 + (c - '0');
	}
	return v;
}

float now_seconds() { return xtim.elapsed; }

}  // namespace

bool http_plain_host_name(std::string_view name)
{
	for (const char c : name) {
		const char lower = char(c | 0x20);
		if (!(lower >= 'a' && lower <= 'z') && !(c >= '0' && c <= '9') && c != '-' && c != '.') return false;
	}
	return true;
}

bool http_name_less::operator()(const std::string& a, const std::string& b) const
{
	return strcasecmp(a.c_str(), b.c_str()) < 0;
}

std::string http_encode_path(const std::string& path)
{
	static const char hex[] = "0123456789ABCDEF";
	std::string out;
	out.reserve(path.size());
	for (unsigned char c : path) {
		if (needs_escape(c)) {
			out += '%';
			out += hex[c >> 4];
			out += hex[c & 15];
		} else {
			out += char(c);
		}
	}
	return out;
}

std::string http_user_agent()
{
	const std::string& build = build_name[0];
	return std::string("Installer-") + "APL/" + build.substr(build.size() >= 4 ? build.size() - 4 : 0);
}

// ---- The response reader

void http_response_reader::feed(const char* data, size_t size)
{
	pending.append(data, size);
	if (headers_done || too_large) return;

	size_t at = 0;
	while (!headers_done) {
		const size_t crlf = pending.find("\r\n", at);
		if (crlf == std::string::npos) break;
		header_bytes_ += crlf - at + 2;
		if (header_bytes_ > max_header_bytes) break;
		if (crlf == at) {
			at += 2;
			if (status >= status_final_min) {
				headers_done = true;
				auto coding = headers.find(coding_header);
				auto length = headers.find("Content-Length");
				if (coding != headers.end())
					chunked = strcasecmp(coding->second.c_str(), coding_chunked) == 0;
				else if (length != headers.end())
					content_length = parse_length(length->second);
			}
			continue;
		}
		take_line(pending.substr(at, crlf - at));
		at = crlf + 2;
	}
	pending.erase(0, at);
	// A partial line counts too: a header that never ends must not grow without end.
	if (!headers_done && header_bytes_ + pending.size() > max_header_bytes) {
		too_large = true;
		pending.clear();
		pending.shrink_to_fit();
	}
}

void http_response_reader::take_line(const std::string& line)
{
	if (line.size() >= status_line_min && line.compare(0, status_prefix_len, status_prefix) == 0) {
		bool digits = true;
		for (size_t i = status_code_at; i < status_code_at + status_code_len; ++i)
			digits = digits && line[i] >= '0' && line[i] <= '9';
		if (digits) {
			status = std::stoi(line.substr(status_code_at, status_code_len));
			status_text = line.size() > status_text_at ? line.substr(status_text_at) : std::string();
			// Each response has its own headers: an interim one's never count for the final one.
			headers.clear();
			return;
		}
	}
	const size_t colon = line.find(':');
	if (colon == std::string::npos) return;
	size_t begin = colon + 1, end = line.size();
	while (begin < end && is_blank(line[begin])) ++begin;
	while (end > begin && is_blank(line[end - 1])) --end;
	headers.emplace(line.substr(0, colon), line.substr(begin, end - begin));
}

// ---- The chunked body

size_t http_chunk_decoder::decode(char* data, size_t size)
{
	size_t in = 0, out = 0;
	while (in < size && state_ != state::failed) {
		if (state_ == state::data) {
			const size_t n = size_t(std::min<long long>(left_, (long long)(size - in)));
			std::memmove(data + out, data + in, n);
			in += n;
			out += n;
			left_ -= (long long)n;
			if (left_ == 0) state_ = state::data_cr;
			continue;
		}
		if (!step(data[in++])) state_ = state::failed;
	}
	return out;
}

bool http_chunk_decoder::step(char c)
{
	const bool line_end = c == '\r';
	if (state_ != state::size_lf && state_ != state::data_cr && state_ != state::data_lf &&
	    ++line_bytes_ > http_response_reader::max_header_bytes)
		return false;
	switch (state_) {
	case state::size:
		if (const int v = hex_value(c); v >= 0) {
			if (left_ > chunk_size_max) return false;
			left_ = left_ * 16 + v;
			digits_ = true;
			return true;
		}
		if (!digits_) return false;
		state_ = line_end ? state::size_lf : c == ';' ? state::extension : state::size_blank;
		return line_end || c == ';' || is_blank(c);
	case state::size_blank:
		if (is_blank(c)) return true;
		state_ = line_end ? state::size_lf : state::extension;
		return line_end || c == ';';
	case state::extension:
		if (line_end) state_ = state::size_lf;
		return true;
	case state::size_lf:
		state_ = left_ == 0 ? state::trailer : state::data;
		line_bytes_ = 0;
		return c == '\n';
	case state::data_cr:
		state_ = state::data_lf;
		return line_end;
	case state::data_lf:
		state_ = state::size;
		digits_ = false;
		return c == '\n';
	case state::trailer:
		state_ = line_end ? state::end_lf : state::trailer_line;
		return true;
	case state::trailer_line:
		if (line_end) state_ = state::trailer_lf;
		return true;
	case state::trailer_lf:
		state_ = state::trailer;
		return c == '\n';
	case state::end_lf:
		state_ = state::done;
		return c == '\n';
	default:
		return false;  // a byte after the end
	}
}

// ---- One download

down_class::down_class(const char* server, uint16_t port, const char* path, bool is_post,
                       const std::map<std::string, std::string>& headers, const unsigned char* body, int body_length,
                       const char* destination)
{
	if (destination) output_path = app_path + destination;
	last_activity = now_seconds();
	response.status = 0;
	if (!http_plain_host_name(server)) {
		xer << kBadServerLine << server << "\n";
		error = err_net_no_server;
		return;
	}

	const bool proxy = http.UseProxy(server, port);
	const uint32_t address = PCSBSocket::LookupAddress(http.ProxyHost(server, port).c_str());
	if (address == 0) {
		const unsigned char* b = reinterpret_cast<const unsigned char*>(&address);
		xer << "Translated server " << server << " to IP addy: " << int(b[0]) << "." << int(b[1]) << "."
		    << int(b[2]) << "." << int(b[3]) << " and port = " << port << "\n";
		error = err_net_no_server;
		return;
	}
	response.status = -1;
	socket = new PCSBSocket(0, false);
	socket->Connect(address, http.ProxyPort(server, port));

	std::string& req = send_buffer;
	req = is_post ? "POST " : "GET ";
	if (proxy) {
		auto host = headers.find("Host");
		req += "http://" + (host != headers.end() ? host->second : std::string(server));
	}
	req += http_encode_path(path) + " HTTP/1.1\r\n";
	for (const auto& h : headers) req += h.first + ": " + h.second + "\r\n";
	if (body) req += "Content-Length: " + std::to_string(body_length) + "\r\n";
	req += "\r\n";
	if (body && body_length > 0) req.append(reinterpret_cast<const char*>(body), size_t(body_length));
}

down_class::~down_class()
{
	if (output) std::fclose(output);
	delete socket;
}

void down_class::close_output()
{
	if (!output) return;
	if (std::fclose(output) != 0) file_failed();
	output = nullptr;
}

void down_class::file_failed()
{
	const int e = errno ? errno : EIO;
	if (!error) error = e;
	if (!file_error) file_error = e;
}

int down_class::GetStat()
{
	if (!socket) return 0;
	const int s = socket->GetStatus();
	if (s == status_Pending) return 1;
	if (s == status_Error) return 2;
	if (s == status_Closed) return 3;
	if (!send_buffer.empty()) return 4;
	return response.headers_done ? 5 : 6;
}

bool down_class::IsErr() { return error != 0 || !socket || socket->GetStatus() == status_Error; }

int down_class::GetOSErr()
{
	if (error) return error;
	if (!socket) return err_net_alloc;
	return socket->GetOSError();
}

bool down_class::Succeeded()
{
	return status() >= status_final_min && status() <= status_ok_max && IsComplete() && !IsErr();
}

void down_class::DoProcessing()
{
	if (!socket) return;
	const int state = socket->GetStatus();
	if (state == status_Closed || state == status_Error) {
		close_output();
		return;
	}
	if (state != status_Connected) return;

	if (!send_buffer.empty()) {
		const long sent = socket->http_WriteData(send_buffer.data(), long(send_buffer.size()));
		if (sent > 0) send_buffer.erase(0, size_t(sent));
	}
	const long got = socket->ReadData(readChunk, read_chunk_size);
	if (got <= 0) {
		// The server has finished sending: nothing more can come, so the download
		// is over now rather than after the time-out.
		if (got == 0 && socket->ReceivedRelease()) socket->Disconnect();
		return;
	}
	// A header that trickles in is as alive as a body that does.
	last_activity = now_seconds();

	const bool had_headers = response.headers_done;
	response.feed(readChunk, size_t(got));
	if (response.too_large) {
		error = EMSGSIZE;
		socket->Disconnect();
		return;
	}
	if (!response.headers_done) return;
	if (!had_headers) {
		if (!output_path.empty()) {
			output = std::fopen(output_path.c_str(), "wb");
			if (!output) file_failed();
		}
		content_length = response.content_length;
	}

	std::string& body = response.pending;
	// Only the bytes of this read are new: without an output file the decoded body
	// stays in the buffer.
	if (response.chunked) take_chunks(had_headers ? body.size() - size_t(got) : 0);
	if (content_length != -1 && (long long)body.size() + bytes_written >= content_length) socket->Disconnect();
	if (output && !body.empty()) {
		bytes_written += (long long)body.size();
		if (std::fwrite(body.data(), 1, body.size(), output) != body.size()) file_failed();
		body.clear();
	}
}

void down_class::take_chunks(size_t fresh_at)
{
	std::string& body = response.pending;
	body.resize(fresh_at + chunks.decode(body.data() + fresh_at, body.size() - fresh_at));
	if (chunks.failed()) {
		if (!error) error = EPROTO;
		socket->Disconnect();
	} else if (chunks.done()) {
		content_length = bytes_written + (long long)body.size();
	}
}

// ---- The slots

bool http_class::UseProxy(const std::string& host, uint16_t) const
{
	if ((proxy_port_int & 0xffff) == 0 || proxy_host.empty()) return false;
	for (const std::string& suffix : gProxyExclude)
		if (suffix.size() <= host.size() && host.compare(host.size() - suffix.size(), suffix.size(), suffix) == 0)
			return false;
	return true;
}

std::string http_class::ProxyHost(const std::string& host, uint16_t port) const
{
	return UseProxy(host, port) ? proxy_host : host;
}

uint16_t http_class::ProxyPort(const std::string& host, uint16_t port) const
{
	return UseProxy(host, port) ? uint16_t(proxy_port_int & 0xffff) : port;
}

void http_class::cancel(int slot)
{
	if (slot < 0 || slot >= http_slot_count) return;
	delete slots[slot];
	slots[slot] = nullptr;
}

int http_class::net_check(int slot, std::string server, std::string path, const std::string& destination)
{
	if (slot < 0 || slot >= http_slot_count) {
		__DIDIVI_alert(0, "Too many download objects requested!", "", "", "", t_exit, http_source, line_slot);
		return 2;
	}
	if (!started_) {
		started_ = true;
		for (down_class*& s : slots) s = nullptr;
		PCSBSocket::StartupNetworking(true);
	}
	down_class*& d = slots[slot];
	if (!d) {
		if (!server.empty() && server.back() == '/') {
			__DIDIVI_alert(0, kSlashServer[0], kSlashServer[1], kSlashServer[2], server, t_exit, http_source,
			               line_server_slash);
			return 2;
		}
		if (path.empty() || path[0] != '/') {
			__DIDIVI_alert(0, kSlashPath[0], kSlashPath[1], kSlashPath[2], path, t_exit, http_source,
			               line_path_slash);
			return 2;
		}
		const std::map<std::string, std::string> headers = {
		    {"Host", server}, {"User-agent", http_user_agent()}, {"Connection", "close"}};
		d = new down_class(server.c_str(), http_port, path.c_str(), false, headers, nullptr, 0, destination.c_str());
	}
	d->DoProcessing();

	const bool verdict = !d->socket || d->IsDone() || d->IsComplete() || d->error != 0 ||
	                     d->socket->GetStatus() == status_Error;
	if (!verdict) {
		if (now_seconds() > d->last_activity + http_timeout_seconds) {
			file_errors_[slot] = 0;
			cancel(slot);
			return 2;
		}
		return 0;
	}
	// Success needs the file whole on disk: its last flush happens at the close.
	d->close_output();
	const bool ok = d->Succeeded();
	if (!ok) {
		const char* const* L = kDiagLabels;
		xer << L[0] << destination << "\n"
		    << L[1] << server << "\n"
		    << L[2] << path << "\n"
		    << L[3] << int(d->IsDone()) << "\n"
		    << L[4] << int(d->IsComplete()) << "\n"
		    << L[5] << int(d->IsErr()) << "\n"
		    << L[6] << d->GetStat() << "\n"
		    << L[7] << d->GetOSErr() << "\n"
		    << L[8] << d->response.status_text << " (#" << d->status() << ")\n\n";
	}
	file_errors_[slot] = ok ? 0 : d->file_error;
	cancel(slot);
	return ok ? 1 : 2;
}

int http_class::file_error(int slot) const { return slot < 0 || slot >= http_slot_count ? 0 : file_errors_[slot]; }
