#include "support/loopback_http.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <sstream>

namespace kx_test {

namespace {

constexpr int poll_slice_ms = 50;
constexpr size_t max_request_head = 64 * 1024;
constexpr size_t generated_piece = 256 * 1024;
constexpr size_t default_piece = 64 * 1024;

double now_s()
{
	using namespace std::chrono;
	return duration<double>(steady_clock::now().time_since_epoch()).count();
}

std::string lower(std::string s)
{
	for (char& c : s)
		if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
	return s;
}

std::string header_value(const std::string& head, const std::string& name)
{
	std::istringstream in(head);
	std::string line;
	while (std::getline(in, line)) {
		if (!line.empty() && line.back() == '\r') line.pop_back();
		const size_t colon = line.find(':');
		if (colon == std::string::npos || lower(line.substr(0, colon)) != lower(name)) continue;
		size_t b = colon + 1;
		while (b < line.size() && line[b] == ' ') ++b;
		return line.substr(b);
	}
	return "";
}

}  // namespace

std::string url_decode(const std::string& s)
{
	std::string out;
	for (size_t i = 0; i < s.size(); ++i) {
		if (s[i] == '%' && i + 2 < s.size() + 0 && isxdigit((unsigned char)s[i + 1]) && isxdigit((unsigned char)s[i + 2])) {
			out += char(std::stoi(s.substr(i + 1, 2), nullptr, 16));
			i += 2;
		} else {
			out += s[i];
		}
	}
	return out;
}

LoopbackHttp::LoopbackHttp(int lifetime_seconds)
{
	deadline_ = now_s() + lifetime_seconds;
	listen_fd_ = socket(AF_INET, SOCK_STREAM, 0);
	int one = 1;
	setsockopt(listen_fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
	sockaddr_in a{};
	a.sin_family = AF_INET;
	a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
	a.sin_port = 0;
	if (bind(listen_fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(listen_fd_, 128) != 0) return;
	socklen_t len = sizeof a;
	getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&a), &len);
	port_ = ntohs(a.sin_port);
	acceptor_ = std::thread([this] { accept_loop(); });
}

LoopbackHttp::~LoopbackHttp() { stop(); }

void LoopbackHttp::stop()
{
	stop_ = true;
	{
		std::lock_guard<std::mutex> g(lock_);
		released_ = true;
	}
	released_cv_.notify_all();
	if (acceptor_.joinable()) acceptor_.join();
	std::vector<std::thread> w;
	{
		std::lock_guard<std::mutex> g(lock_);
		w.swap(workers_);
	}
	for (std::thread& t : w) t.join();
	if (listen_fd_ >= 0) close(listen_fd_);
	listen_fd_ = -1;
}

bool LoopbackHttp::stopping() const { return stop_ || now_s() > deadline_; }

void LoopbackHttp::route(const std::string& host, const std::string& path, const HttpReply& reply)
{
	std::lock_guard<std::mutex> g(lock_);
	Route r;
	r.reply = reply;
	routes_[host + " " + path] = r;
}

void LoopbackHttp::serve_folder(const std::string& host, const std::string& prefix, const std::string& folder)
{
	std::lock_guard<std::mutex> g(lock_);
	Route r;
	r.folder = folder;
	r.prefix = prefix;
	routes_[host + " " + prefix + "*"] = r;
}

void LoopbackHttp::release()
{
	{
		std::lock_guard<std::mutex> g(lock_);
		released_ = true;
	}
	released_cv_.notify_all();
}

std::vector<HttpRequest> LoopbackHttp::requests() const
{
	std::lock_guard<std::mutex> g(lock_);
	return requests_;
}

size_t LoopbackHttp::count(const std::string& host, const std::string& path_prefix) const
{
	std::lock_guard<std::mutex> g(lock_);
	size_t n = 0;
	for (const HttpRequest& r : requests_)
		if (r.host == host && r.path.compare(0, path_prefix.size(), path_prefix) == 0) ++n;
	return n;
}

bool LoopbackHttp::find_route(const std::string& host, const std::string& path, Route& out) const
{
	std::lock_guard<std::mutex> g(lock_);
	auto exact = routes_.find(host + " " + path);
	if (exact != routes_.end()) {
		out = exact->second;
		return true;
	}
	size_t best = 0;
	bool found = false;
	for (const auto& kv : routes_) {
		const std::string& key = kv.first;
		if (key.empty() || key.back() != '*') continue;
		const std::string pre = key.substr(0, key.size() - 1);
		const std::string want = host + " " + path;
		if (want.compare(0, pre.size(), pre) == 0 && pre.size() >= best) {
			best = pre.size();
			out = kv.second;
			found = true;
		}
	}
	return found;
}

void LoopbackHttp::accept_loop()
{
	while (!stopping()) {
		pollfd p{listen_fd_, POLLIN, 0};
		if (poll(&p, 1, poll_slice_ms) <= 0) continue;
		const int fd = accept(listen_fd_, nullptr, nullptr);
		if (fd < 0) continue;
		std::lock_guard<std::mutex> g(lock_);
		workers_.emplace_back([this, fd] {
			serve(fd);
			close(fd);
		});
	}
}

namespace {

// Sends everything unless the server stops or the peer goes; false then.
template <class Stop>
bool send_all(int fd, const char* data, size_t n, Stop stopping)
{
	while (n > 0) {
		if (stopping()) return false;
		pollfd p{fd, POLLOUT, 0};
		if (poll(&p, 1, poll_slice_ms) <= 0) continue;
		const ssize_t s = send(fd, data, n, MSG_NOSIGNAL);
		if (s < 0) {
			if (errno == EAGAIN || errno == EINTR) continue;
			return false;
		}
		data += s;
		n -= size_t(s);
	}
	return true;
}

void sleep_ms(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

void reset_close(int fd)
{
	linger l{1, 0};
	setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
}

}  // namespace

void LoopbackHttp::serve(int fd)
{
	auto stop_fn = [this] { return stopping(); };
	// The request head.
	std::string head;
	char buf[4096];
	while (head.find("\r\n\r\n") == std::string::npos && head.size() < max_request_head) {
		if (stopping()) return;
		pollfd p{fd, POLLIN, 0};
		if (poll(&p, 1, poll_slice_ms) <= 0) continue;
		const ssize_t n = recv(fd, buf, sizeof buf, 0);
		if (n <= 0) return;
		head.append(buf, size_t(n));
	}
	HttpRequest req;
	req.raw = head.substr(0, head.find("\r\n\r\n") + 4);
	const std::string first = head.substr(0, head.find("\r\n"));
	const size_t sp1 = first.find(' '), sp2 = first.rfind(' ');
	if (sp1 != std::string::npos && sp2 > sp1) {
		req.method = first.substr(0, sp1);
		req.target = first.substr(sp1 + 1, sp2 - sp1 - 1);
	}
	std::string path = req.target;
	if (path.rfind("http://", 0) == 0) {
		req.proxy_form = true;
		const size_t slash = path.find('/', 7);
		req.host = path.substr(7, slash == std::string::npos ? std::string::npos : slash - 7);
		path = slash == std::string::npos ? "/" : path.substr(slash);
	} else {
		req.host = header_value(req.raw, "Host");
	}
	req.path = url_decode(path);
	{
		std::lock_guard<std::mutex> g(lock_);
		requests_.push_back(req);
	}

	Route route;
	HttpReply r;
	if (!find_route(req.host, req.path, route)) {
		r.status = 404;
		r.reason = "Not Found";
		r.body = "no such file\n";
	} else if (!route.folder.empty()) {
		const std::string file = route.folder + req.path.substr(route.prefix.size());
		std::ifstream in(file, std::ios::binary);
		if (!in || req.path.find("/../") != std::string::npos) {
			r.status = 404;
			r.reason = "Not Found";
			r.body = "no such file\n";
		} else {
			r.file = file;
		}
	} else {
		r = route.reply;
	}

	if (r.silence) {
		while (!stopping()) sleep_ms(poll_slice_ms);
		return;
	}
	if (r.hold) {
		std::unique_lock<std::mutex> g(lock_);
		while (!released_ && !stopping()) released_cv_.wait_for(g, std::chrono::milliseconds(poll_slice_ms));
	}

	std::string body = r.body;
	if (!r.file.empty()) {
		std::ifstream in(r.file, std::ios::binary);
		std::ostringstream s;
		s << in.rdbuf();
		body = s.str();
	}
	const long long body_size = r.generated >= 0 ? r.generated : (long long)body.size();

	std::string out;
	if (r.continue_first) out += "HTTP/1.1 100 Continue\r\n\r\n";
	if (!r.raw_head.empty()) {
		out += r.raw_head;
	} else {
		out += "HTTP/1.1 " + std::to_string(r.status) + " " + r.reason + "\r\n";
		out += "Connection: close\r\n";
		switch (r.length) {
		case HttpReply::length_mode::exact: out += "Content-Length: " + std::to_string(body_size) + "\r\n"; break;
		case HttpReply::length_mode::lower_case: out += "content-length: " + std::to_string(body_size) + "\r\n"; break;
		case HttpReply::length_mode::declared: out += "Content-Length: " + std::to_string(r.declared_length) + "\r\n"; break;
		case HttpReply::length_mode::none: break;
		}
		out += r.extra_headers + "\r\n";
	}
	const size_t head_size = out.size();
	if (r.generated < 0) out += body;

	// Head and body in pieces, with pauses, throttled, or cut short.
	long long limit = (long long)head_size + body_size;
	if (r.close_after >= 0) limit = (long long)head_size + std::min(r.close_after, body_size);
	if (r.reset && r.close_after < 0) limit = (long long)head_size;
	const size_t piece = r.chunk ? r.chunk : (r.generated >= 0 ? generated_piece : default_piece);
	static const std::string zeros(generated_piece, 'z');
	long long sent = 0;
	const double started = now_s();
	while (sent < limit) {
		const size_t n = size_t(std::min<long long>((long long)piece, limit - sent));
		const char* data;
		if (sent < (long long)out.size()) {
			data = out.data() + sent;
			const size_t n2 = std::min(n, out.size() - size_t(sent));
			if (!send_all(fd, data, n2, stop_fn)) return;
			sent += (long long)n2;
		} else {
			if (!send_all(fd, zeros.data(), std::min(n, zeros.size()), stop_fn)) return;
			sent += (long long)std::min(n, zeros.size());
		}
		if (r.pause_ms && sent < limit) sleep_ms(r.pause_ms);
		if (r.throttle_bps > 0) {
			const double due = started + double(sent - (long long)head_size) / double(r.throttle_bps);
			while (now_s() < due && !stopping()) sleep_ms(5);
		}
	}
	if (r.reset) {
		reset_close(fd);
		return;
	}
	shutdown(fd, SHUT_WR);
	// Wait for the client to close, so that its unread data never turns into a reset.
	const double until = now_s() + 2.0;
	while (!stopping() && now_s() < until) {
		pollfd p{fd, POLLIN, 0};
		if (poll(&p, 1, poll_slice_ms) <= 0) continue;
		if (recv(fd, buf, sizeof buf, 0) <= 0) break;
	}
}

}  // namespace kx_test
