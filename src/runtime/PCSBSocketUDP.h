#pragma once
// IPv4 sockets: a non-blocking TCP socket whose state is polled, never waited for, and
// a UDP socket. The HTTP downloader is the TCP socket's only user; the server side and
// the UDP socket are offered for the simulator side of the framework. Everything is
// polled from the frame on one thread. Readiness is asked of poll() with a zero
// time-out, so any descriptor number works.
#include <netinet/in.h>

#include <cstdint>

enum {
	status_Idle = 1,       // idle; listening when the listen flag is set
	status_Pending = 2,    // connect in progress, or a connection waiting to be accepted
	status_Connected = 3,
	status_Closed = 4,     // disconnected, or the peer is gone
	status_Error = 5
};

// Turns a host name into an IPv4 address in network byte order, 0 when there is none.
// Dotted addresses never reach it. Tests replace it so that no name is ever queried.
using PCSB_lookup_fn = uint32_t (*)(const char* name);
// Returns the function installed before; null restores the system's resolver.
PCSB_lookup_fn PCSBSocket_set_lookup(PCSB_lookup_fn f);

class PCSBSocket {
public:
	struct ConnectionData {
		uint32_t local_address;   // host byte order
		uint16_t local_port;      // host byte order
		uint32_t remote_address;  // network byte order, as LookupAddress gives it
		uint16_t remote_port;     // host byte order
	};

	// A TCP socket bound to `port` on any local address (0: any port); listening when
	// `listen` is true.
	PCSBSocket(uint16_t port, bool listen);
	// Adopts an accepted descriptor: connected.
	explicit PCSBSocket(int descriptor);
	virtual ~PCSBSocket();
	PCSBSocket(const PCSBSocket&) = delete;
	PCSBSocket& operator=(const PCSBSocket&) = delete;

	static int StartupNetworking(bool) { return 1; }
	static void ShutdownNetworking(bool) {}
	// A dotted IPv4 address directly, else the host-name lookup's first address; in
	// network byte order, 0 on failure. A name lookup blocks.
	static uint32_t LookupAddress(const char* name);

	void Connect(uint32_t address, uint16_t port);
	int GetStatus();
	int GetOSError() const { return os_error_; }
	bool ReceivedRelease() const { return received_release_; }
	// Bytes read, 0 when nothing is there (or the peer closed its side), -1 after a
	// state change.
	long ReadData(void* buffer, long length);
	// Bytes sent (maybe fewer than asked), 0 when the send would block, -1 after a
	// state change.
	long http_WriteData(const void* buffer, long length);
	void Disconnect();
	void Release();
	// A new connected socket, or null when nothing could be accepted.
	PCSBSocket* Accept();
	void GetAddresses(ConnectionData* data);

	int descriptor() const { return socket_; }

private:
	// The state a failed recv or send leaves: closed for the errors that mean the
	// connection is gone, error for anything else.
	long fail_io(int err, const char* what);

	int socket_ = -1;
	int state_ = status_Idle;
	int os_error_ = 0;
	bool received_release_ = false;
	bool released_ = false;
	bool listening_ = false;
};

constexpr int udp_buffer_size_snd = 16384;
constexpr int udp_buffer_size_rcv = 65536;

class PCSBSocketUDP {
public:
	PCSBSocketUDP() = default;
	virtual ~PCSBSocketUDP();
	PCSBSocketUDP(const PCSBSocketUDP&) = delete;
	PCSBSocketUDP& operator=(const PCSBSocketUDP&) = delete;

	// Binds a UDP socket to `port` on any address; mode 2 makes it non-blocking.
	// 1 on success, 0 on failure.
	int udp_init(uint16_t port, int mode);
	void size_buffer();
	int Cleanup();
	// Sends to an address and port given in host byte order.
	long udp_WriteData(const void* buffer, long length, uint32_t address, uint16_t port);
	// Receives one datagram; the sender's address and port in host byte order.
	long ReadData(void* buffer, long length, uint32_t* address, uint16_t* port);

	int mWinSocket = -1;
	sockaddr_in local_address{};
};

// Prints nothing; a stand-in for printf when debug output is to be silenced.
int printf_null(const char* format, ...);
