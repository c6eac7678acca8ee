#include "runtime/PCSBSocketUDP.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>

#include "runtime/hl_alert.h"

namespace {

constexpr int listen_backlog = 128;

// What the socket layer tells the terminal. None of it goes to the log.
enum sock_msg {
	msg_no_socket,
	msg_no_bind,
	msg_no_listen,
	msg_no_nodelay,
	msg_connect,
	msg_select_idle,
	msg_select_pending,
	msg_recv,
	msg_send,
	msg_count
};
const char* const kSockMsgs[msg_count] = {
    "LINUX: NET: I could not even create the socket! Uh-oh!\n",
    "LINUX: NET: I could not even bind the socket! Uh-oh!\n",
    "LINUX: NET: I could not start listening! Uh-oh!\n",
    "-----------------------Could not set TCP_NODELAY on port %d-------------\n",
    "LINUX: NET: Some sort of connect error! %d\n",
    "LINUX: NET: Some sort of socket error! %d\n",
    "LINUX: NET: Some sort of socket error while connecting! %d (errno=%d sock=%d)\n",
    "LINUX: NET: Some sort of error while recving! %d\n",
    "LINUX: NET: Some sort of error while sending! %d\n",
};

// The errors that mean the connection is gone rather than broken. A pending connect
// that fails with one of them (a refused connect, above all) is closed, not an error;
// EPIPE is how a send learns the same.
const int kClosedErrors[] = {ECONNABORTED, ECONNREFUSED, ECONNRESET, EHOSTUNREACH,
                             ENETDOWN,     ENETRESET,    ENETUNREACH, ETIMEDOUT, EPIPE};

bool is_closed_error(int e)
{
	for (int c : kClosedErrors)
		if (c == e) return true;
	return false;
}

// The UDP unit's alerts.
const char* const udp_source_init = "VAvered/Sockets/PCSBSocketUDP.lin";
const char* const udp_source = "VAvered/Sockets/PCSBSocketUDP";
constexpr int udp_line_nonblock = 62;
constexpr int udp_line_size_first = 91;  // set send, read send, set receive, read receive
constexpr int udp_line_bad_socket = 102;

uint32_t system_lookup(const char* name)
{
	addrinfo hints{};
	hints.ai_family = AF_INET;
	hints.ai_socktype = SOCK_STREAM;
	addrinfo* found = nullptr;
	if (getaddrinfo(name, nullptr, &hints, &found) != 0 || !found) return 0;
	uint32_t address = 0;
	for (addrinfo* a = found; a && !address; a = a->ai_next)
		if (a->ai_family == AF_INET && a->ai_addr) address = reinterpret_cast<sockaddr_in*>(a->ai_addr)->sin_addr.s_addr;
	freeaddrinfo(found);
	return address;
}

std::atomic<PCSB_lookup_fn> g_lookup{nullptr};

void set_nonblocking(int fd)
{
	int on = 1;
	ioctl(fd, FIONBIO, &on);
}

// One zero-time-out look at the descriptor; -1 with errno on failure.
int poll_now(int fd, short events, short* revents)
{
	pollfd p{fd, events, 0};
	const int r = poll(&p, 1, 0);
	*revents = p.revents;
	return r;
}

}  // namespace

PCSB_lookup_fn PCSBSocket_set_lookup(PCSB_lookup_fn f) { return g_lookup.exchange(f); }

PCSBSocket::PCSBSocket(uint16_t port, bool listen)
{
	socket_ = socket(AF_INET, SOCK_STREAM, 0);
	if (socket_ < 0) {
		os_error_ = errno;
		state_ = status_Error;
		std::fputs(kSockMsgs[msg_no_socket], stderr);
		return;
	}
	int one = 1;
	if (setsockopt(socket_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one) != 0)
		std::printf(kSockMsgs[msg_no_nodelay], int(port));

	sockaddr_in local{};
	local.sin_family = AF_INET;
	local.sin_port = htons(port);
	local.sin_addr.s_addr = htonl(INADDR_ANY);
	if (bind(socket_, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
		os_error_ = errno;
		state_ = status_Error;
		std::fputs(kSockMsgs[msg_no_bind], stderr);
		return;
	}
	set_nonblocking(socket_);
	if (listen) {
		listening_ = true;
		if (::listen(socket_, listen_backlog) != 0) {
			os_error_ = errno;
			state_ = status_Error;
			std::fputs(kSockMsgs[msg_no_listen], stderr);
		}
	}
}

PCSBSocket::PCSBSocket(int descriptor) : socket_(descriptor), state_(status_Connected)
{
	set_nonblocking(socket_);
}

PCSBSocket::~PCSBSocket()
{
	if (socket_ < 0) return;
	shutdown(socket_, SHUT_RDWR);
	close(socket_);
}

uint32_t PCSBSocket::LookupAddress(const char* name)
{
	if (!name || !*name) return 0;
	in_addr dotted{};
	if (inet_pton(AF_INET, name, &dotted) == 1) return dotted.s_addr;
	PCSB_lookup_fn f = g_lookup.load();
	return f ? f(name) : system_lookup(name);
}

void PCSBSocket::Connect(uint32_t address, uint16_t port)
{
	state_ = status_Pending;
	sockaddr_in remote{};
	remote.sin_family = AF_INET;
	remote.sin_port = htons(port);
	remote.sin_addr.s_addr = address;
	if (connect(socket_, reinterpret_cast<sockaddr*>(&remote), sizeof remote) == 0) {
		state_ = status_Connected;
		return;
	}
	const int e = errno;
	if (e == EAGAIN || e == EINPROGRESS) return;
	std::fprintf(stderr, kSockMsgs[msg_connect], e);
	os_error_ = e;
	state_ = status_Error;
}

int PCSBSocket::GetStatus()
{
	short revents = 0;
	if (state_ == status_Idle) {
		if (!listening_) return state_;
		const int r = poll_now(socket_, POLLIN, &revents);
		if (r > 0) {
			state_ = (revents & POLLIN) ? status_Pending : status_Closed;
		} else if (r < 0 && errno != EINTR) {
			os_error_ = errno;
			std::fprintf(stderr, kSockMsgs[msg_select_idle], r);
			state_ = status_Error;
		}
		return state_;
	}
	if (state_ == status_Pending) {
		const int r = poll_now(socket_, POLLOUT, &revents);
		if (r > 0) {
			// Writable or hung up: the connect has ended one way or the other, and
			// the socket's own error says which.
			int err = 0;
			socklen_t len = sizeof err;
			if (getsockopt(socket_, SOL_SOCKET, SO_ERROR, &err, &len) != 0) err = errno;
			if (err == 0) {
				state_ = status_Connected;
			} else if (is_closed_error(err)) {
				state_ = status_Closed;
			} else {
				os_error_ = err;
				state_ = status_Error;
			}
		} else if (r < 0 && errno != EINTR) {
			const int e = errno;
			std::fprintf(stderr, kSockMsgs[msg_select_pending], r, e, socket_);
			os_error_ = e;
			state_ = status_Error;
		}
	}
	return state_;
}

long PCSBSocket::fail_io(int err, const char* what)
{
	if (err == EAGAIN || err == EWOULDBLOCK || err == EINTR) return 0;
	if (is_closed_error(err)) {
		state_ = status_Closed;
		return -1;
	}
	std::fprintf(stderr, what, err);
	os_error_ = err;
	state_ = status_Error;
	return -1;
}

long PCSBSocket::ReadData(void* buffer, long length)
{
	const ssize_t n = recv(socket_, buffer, size_t(length), 0);
	if (n > 0) return long(n);
	if (n == 0) {
		received_release_ = true;
		if (released_) {
			state_ = status_Closed;
			return -1;
		}
		return 0;
	}
	return fail_io(errno, kSockMsgs[msg_recv]);
}

long PCSBSocket::http_WriteData(const void* buffer, long length)
{
	const ssize_t n = send(socket_, buffer, size_t(length), MSG_NOSIGNAL);
	if (n >= 0) return long(n);
	return fail_io(errno, kSockMsgs[msg_send]);
}

void PCSBSocket::Disconnect()
{
	shutdown(socket_, SHUT_RDWR);
	state_ = status_Closed;
}

void PCSBSocket::Release()
{
	if (shutdown(socket_, SHUT_WR) != 0) {
		os_error_ = errno;
		state_ = status_Error;
	}
	released_ = true;
}

PCSBSocket* PCSBSocket::Accept()
{
	const int fd = accept(socket_, nullptr, nullptr);
	if (listening_ && state_ == status_Pending) state_ = status_Idle;
	if (fd < 0) return nullptr;
	return new PCSBSocket(fd);
}

void PCSBSocket::GetAddresses(ConnectionData* data)
{
	sockaddr_in a{};
	socklen_t len = sizeof a;
	if (getpeername(socket_, reinterpret_cast<sockaddr*>(&a), &len) == 0) {
		data->remote_address = a.sin_addr.s_addr;
		data->remote_port = ntohs(a.sin_port);
	}
	len = sizeof a;
	if (getsockname(socket_, reinterpret_cast<sockaddr*>(&a), &len) == 0) {
		data->local_address = ntohl(a.sin_addr.s_addr);
		data->local_port = ntohs(a.sin_port);
	}
}

// ---- UDP

PCSBSocketUDP::~PCSBSocketUDP() { Cleanup(); }

int PCSBSocketUDP::Cleanup()
{
	if (mWinSocket == -1) return -1;
	const int r = close(mWinSocket);
	mWinSocket = -1;
	return r;
}

int PCSBSocketUDP::udp_init(uint16_t port, int mode)
{
	local_address = sockaddr_in{};
	local_address.sin_family = AF_INET;
	local_address.sin_port = htons(port);
	local_address.sin_addr.s_addr = htonl(INADDR_ANY);
	mWinSocket = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
	if (mWinSocket < 0) {
		mWinSocket = -1;
		return 0;
	}
	if (bind(mWinSocket, reinterpret_cast<sockaddr*>(&local_address), sizeof local_address) != 0) {
		Cleanup();
		return 0;
	}
	if (mode == 2) {
		const int flags = fcntl(mWinSocket, F_GETFL, 0);
		if (flags < 0 || fcntl(mWinSocket, F_SETFL, flags | O_NONBLOCK) != 0) {
			__DIDIVI_alert(0, "Could not set net to non-blocking!", "", "", "", t_alert, udp_source_init,
			               udp_line_nonblock);
			Cleanup();
			return 0;
		}
	}
	size_buffer();
	return 1;
}

void PCSBSocketUDP::size_buffer()
{
	const int wanted[2] = {udp_buffer_size_snd, udp_buffer_size_rcv};
	const int option[2] = {SO_SNDBUF, SO_RCVBUF};
	int line = udp_line_size_first;
	for (int i = 0; i < 2; ++i) {
		int value = wanted[i];
		if (setsockopt(mWinSocket, SOL_SOCKET, option[i], &value, sizeof value) != 0)
			__DIDIVI_alert(0, "Could not set socket size!", "", "", "", t_exit, udp_source, line);
		++line;
		socklen_t len = sizeof value;
		if (getsockopt(mWinSocket, SOL_SOCKET, option[i], &value, &len) != 0)
			__DIDIVI_alert(0, "Could not set socket size!", "", "", "", t_exit, udp_source, line);
		++line;
	}
}

long PCSBSocketUDP::udp_WriteData(const void* buffer, long length, uint32_t address, uint16_t port)
{
	sockaddr_in to{};
	to.sin_family = AF_INET;
	to.sin_port = htons(port);
	to.sin_addr.s_addr = htonl(address);
	return long(sendto(mWinSocket, buffer, size_t(length), MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&to), sizeof to));
}

long PCSBSocketUDP::ReadData(void* buffer, long length, uint32_t* address, uint16_t* port)
{
	if (mWinSocket < 0) __DIDIVI_alert(0, "Bad mWinSocket!", "", "", "", t_exit, udp_source, udp_line_bad_socket);
	sockaddr_in from{};
	socklen_t len = sizeof from;
	const ssize_t n = recvfrom(mWinSocket, buffer, size_t(length), 0, reinterpret_cast<sockaddr*>(&from), &len);
	if (n < 0) return -1;
	if (address) *address = ntohl(from.sin_addr.s_addr);
	if (port) *port = ntohs(from.sin_port);
	return long(n);
}

int printf_null(const char*, ...) { return 0; }
