#pragma once
// The HTTP downloader. A caller polls http_class::net_check once per frame for a
// numbered slot: the first call starts a GET, every call advances it by one
// non-blocking send and one non-blocking read, and the body is streamed into a file.
// No thread is involved and no call waits for the network (the host-name lookup
// aside). Slots 2 to 5 carry the network install's streams; 0 and 1 the server-list
// and file-list fetches. The proxy settings live in the installer's preferences file.
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <string_view>
#include <vector>

class PCSBSocket;

// Header names compare without regard to letter case, as HTTP has them.
struct http_name_less {
	bool operator()(const std::string& a, const std::string& b) const;
};
using http_header_map = std::map<std::string, std::string, http_name_less>;

// The response as it arrives: status lines and header lines are taken off the front of
// the bytes fed in until the blank line that ends a final response (status 200 or
// more); interim responses ("100 Continue") are passed over. What follows that blank
// line is body and stays in `pending`. It needs no socket, so it can be fed any bytes.
class http_response_reader {
public:
	// A header larger than this fails the download rather than growing without end.
	static constexpr size_t max_header_bytes = 64 * 1024;

	// Takes received bytes: while the header is read they are scanned, afterwards they
	// are body and only appended to `pending`.
	void feed(const char* data, size_t size);

	std::string pending;        // bytes not yet consumed: a partial header line, or body
	bool headers_done = false;  // the blank line ending a final response was consumed
	bool too_large = false;     // the header passed max_header_bytes; nothing more is read
	int status = -1;            // -1 until a status line arrives
	std::string status_text;    // the reason phrase of the last status line
	http_header_map headers;    // of the last response; the first occurrence of a name wins
	// From a final response's "Content-Length", -1 unknown. A response with a transfer
	// coding has no length of its own: its "Content-Length" is ignored.
	long long content_length = -1;
	bool chunked = false;  // the body comes framed in chunks ("Transfer-Encoding: chunked")

private:
	void take_line(const std::string& line);
	size_t header_bytes_ = 0;  // header bytes consumed so far, interim responses included
};

// A chunked body decoded as it streams in: the chunk sizes and their extensions, the
// line ends around the data and the trailer lines are dropped, and only the data is
// left. It keeps no bytes of its own, so memory stays bounded whatever the chunk sizes.
// A malformed size or line end, a size or trailer line longer than a whole header, or
// any byte after the last chunk's end fails the body.
class http_chunk_decoder {
public:
	// Decodes `size` bytes at `data` in place; returns how many body bytes now stand at
	// the front of `data`.
	size_t decode(char* data, size_t size);
	bool done() const { return state_ == state::done; }
	bool failed() const { return state_ == state::failed; }

private:
	enum class state { size, size_blank, extension, size_lf, data, data_cr, data_lf, trailer, trailer_line,
		           trailer_lf, end_lf, done, failed };
	bool step(char c);  // one byte of framing; false when it fails the body

	state state_ = state::size;
	long long left_ = 0;     // while a size is read, its value; then the chunk's bytes still to come
	bool digits_ = false;    // the size line has a digit
	size_t line_bytes_ = 0;  // bytes of the current size line, or of the whole trailer
};

// The downloader's rule for a server name: a host name or a dotted address, so ASCII
// letters, digits, '-' and '.' only. Any other byte ('?', '#', '/', ':', a blank) would
// change the address a proxy fetches, and such a name is refused unsent.
bool http_plain_host_name(std::string_view name);

// The request path as sent: bytes that could end or split the request line, start a
// fragment or query, or are not plain ASCII are percent-encoded.
std::string http_encode_path(const std::string& path);

// One request and its response.
class down_class {
public:
	down_class(const char* server, uint16_t port, const char* path, bool is_post,
	           const std::map<std::string, std::string>& headers, const unsigned char* body, int body_length,
	           const char* destination);
	~down_class();
	down_class(const down_class&) = delete;
	down_class& operator=(const down_class&) = delete;

	// One poll step: one send, one read, the body to the file.
	void DoProcessing();

	// 0 no socket; 1 connect pending; 2 socket error; 3 socket closed; 4 request bytes
	// still to send; 5 receiving the body; 6 waiting for the response header.
	int GetStat();
	bool IsDone() { return GetStat() == 3; }
	bool IsComplete() const { return bytes_written == content_length; }
	bool IsErr();
	int GetOSErr();
	// The verdict of a download that is over: a 2xx status, the whole body, no error.
	bool Succeeded();
	// Closes the output file; a failed close (a full disk at the last flush) is an error.
	void close_output();
	// The output file could not be opened, written or closed (errno says why): the
	// download fails, and the file is the reason.
	void file_failed();

	PCSBSocket* socket = nullptr;
	std::string send_buffer;
	http_response_reader response;  // its `pending` is the receive buffer
	http_chunk_decoder chunks;      // of a chunked body
	FILE* output = nullptr;
	std::string output_path;
	int error = 0;                  // 20011 no server; EPROTO a malformed chunked body; else errno
	int file_error = 0;             // errno of the output file's open, write or close; 0 when it was fine
	long long content_length = -1;  // of the final response, -1 until known
	long long bytes_written = 0;    // body bytes handed to the output file
	float last_activity = 0.0f;     // frame-clock seconds of the start or the last data received

	// The status code: 0 when the lookup failed, -1 until a status line arrives.
	int status() const { return response.status; }

private:
	// Decodes the chunked body bytes from `fresh_at` on; at the last chunk's end the
	// body's length becomes known.
	void take_chunks(size_t fresh_at);
};

constexpr int http_slot_count = 6;

class http_class {
public:
	http_class() = default;
	http_class(const http_class&) = delete;
	http_class& operator=(const http_class&) = delete;

	// 0 while the download of `slot` runs, 1 when it succeeded, 2 when it failed; after
	// a 1 or a 2 the slot is idle and the next call starts a new download.
	int net_check(int slot, std::string server, std::string path, const std::string& destination);
	// Ends the slot's download, if any, keeping what was written; the slot is idle.
	void cancel(int slot);
	// The errno with which the slot's last failed download could not write its file (a
	// full disk, a folder closed to us), 0 when it failed for another reason or did not
	// fail: a failure no other server can mend.
	int file_error(int slot) const;

	bool UseProxy(const std::string& host, uint16_t port) const;
	std::string ProxyHost(const std::string& host, uint16_t port) const;
	uint16_t ProxyPort(const std::string& host, uint16_t port) const;

	std::string proxy_host;  // empty: no proxy ("_proxy_host")
	std::string proxy_port;  // the port as typed, for the preferences window only ("_proxy_port")
	int proxy_port_int = 0;  // 0: no proxy; the low 16 bits are the port ("_proxy_port_int")
	down_class* slots[http_slot_count] = {};

private:
	bool started_ = false;
	int file_errors_[http_slot_count] = {};
};

extern http_class http;

// Server-name suffixes that bypass the proxy.
extern std::vector<std::string> gProxyExclude;

// The User-agent the downloader sends: "Installer-APL/" and the build's last four characters.
std::string http_user_agent();
// The time a download may go without receiving data, in frame-clock seconds.
constexpr float http_timeout_seconds = 30.0f;
