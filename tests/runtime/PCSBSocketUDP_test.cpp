// The polled sockets against real loopback peers.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "runtime/PCSBSocketUDP.h"

namespace {

const uint32_t kLoopback = htonl(INADDR_LOOPBACK);

// A plain listening socket on an ephemeral loopback port.
struct Listener {
	int fd = -1;
	uint16_t port = 0;
	Listener()
	{
		fd = socket(AF_INET, SOCK_STREAM, 0);
		sockaddr_in a{};
		a.sin_family = AF_INET;
		a.sin_addr.s_addr = kLoopback;
		bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
		listen(fd, 8);
		socklen_t len = sizeof a;
		getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
		port = ntohs(a.sin_port);
	}
	~Listener() { close(fd); }
};

// Polls until the state leaves `from`, for at most five seconds.
int wait_leaving(PCSBSocket& s, int from)
{
	const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
	int st = s.GetStatus();
	while (st == from && std::chrono::steady_clock::now() < until) {
		std::this_thread::sleep_for(std::chrono::milliseconds(1));
		st = s.GetStatus();
	}
	return st;
}

int g_lookups = 0;
uint32_t counting_failing_lookup(const char*)
{
	++g_lookups;
	return 0;
}

TEST(Sockets, ConnectsThenSeesTheServersReleaseWhileStillConnected)
{
	Listener l;
	PCSBSocket c(0, false);
	ASSERT_EQ(c.GetStatus(), status_Idle);
	c.Connect(kLoopback, l.port);
	const int st = c.GetStatus();
	EXPECT_TRUE(st == status_Pending || st == status_Connected);
	ASSERT_EQ(wait_leaving(c, status_Pending), status_Connected);

	const int server = accept(l.fd, nullptr, nullptr);
	ASSERT_GE(server, 0);
	EXPECT_EQ(c.http_WriteData("hello", 5), 5);
	char buf[16];
	ASSERT_EQ(recv(server, buf, sizeof buf, 0), 5);
	send(server, "abc", 3, 0);
	shutdown(server, SHUT_WR);

	long got = 0;
	for (int i = 0; i < 5000 && got == 0; ++i) {
		got = c.ReadData(buf, sizeof buf);
		if (got == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
	}
	EXPECT_EQ(got, 3);
	// After the peer's FIN every read gives 0, and the socket still counts as connected.
	for (int i = 0; i < 3; ++i) EXPECT_EQ(c.ReadData(buf, sizeof buf), 0);
	EXPECT_TRUE(c.ReceivedRelease());
	EXPECT_EQ(c.GetStatus(), status_Connected);
	// Once this side has released too, the next read closes it.
	c.Release();
	EXPECT_EQ(c.ReadData(buf, sizeof buf), -1);
	EXPECT_EQ(c.GetStatus(), status_Closed);
	close(server);
}

TEST(Sockets, AJustClosedPortIsClosedNotAnError)
{
	uint16_t port;
	{
		Listener l;
		port = l.port;
	}
	PCSBSocket c(0, false);
	c.Connect(kLoopback, port);
	EXPECT_EQ(wait_leaving(c, status_Pending), status_Closed);
	EXPECT_EQ(c.GetOSError(), 0);
}

TEST(Sockets, ListeningSocketAcceptsOnlyWhatWaits)
{
	PCSBSocket server(0, true);
	ASSERT_EQ(server.GetStatus(), status_Idle);
	EXPECT_EQ(server.Accept(), nullptr);
	EXPECT_EQ(server.GetStatus(), status_Idle);

	PCSBSocket::ConnectionData at{};
	server.GetAddresses(&at);
	ASSERT_NE(at.local_port, 0);
	PCSBSocket c(0, false);
	c.Connect(kLoopback, at.local_port);
	ASSERT_EQ(wait_leaving(server, status_Idle), status_Pending);
	std::unique_ptr<PCSBSocket> a(server.Accept());
	ASSERT_NE(a, nullptr);
	EXPECT_EQ(server.GetStatus(), status_Idle);
	EXPECT_EQ(a->GetStatus(), status_Connected);
	EXPECT_EQ(wait_leaving(c, status_Pending), status_Connected);

	PCSBSocket::ConnectionData peer{};
	a->GetAddresses(&peer);
	EXPECT_EQ(peer.remote_address, kLoopback);
	EXPECT_EQ(peer.local_port, at.local_port);
	EXPECT_EQ(peer.local_address, uint32_t(INADDR_LOOPBACK));
}

TEST(Sockets, LookupTakesDottedAddressesWithoutAQuery)
{
	g_lookups = 0;
	PCSB_lookup_fn old = PCSBSocket_set_lookup(counting_failing_lookup);
	EXPECT_EQ(PCSBSocket::LookupAddress("10.0.0.1"), htonl(0x0a000001));
	EXPECT_EQ(g_lookups, 0);
	EXPECT_EQ(PCSBSocket::LookupAddress("no-such-host.example"), 0u);
	EXPECT_EQ(g_lookups, 1);
	EXPECT_EQ(PCSBSocket::LookupAddress(""), 0u);
	EXPECT_EQ(g_lookups, 1);
	PCSBSocket_set_lookup(old);
	// The system's resolver, for the one name tests may look up.
	EXPECT_EQ(PCSBSocket::LookupAddress("localhost"), kLoopback);
}

TEST(Sockets, WorksWithADescriptorAbove1024)
{
	rlimit lim{};
	getrlimit(RLIMIT_NOFILE, &lim);
	const rlim_t want = 1200;
	if (lim.rlim_max < want) GTEST_SKIP() << "the descriptor limit is below " << want;
	const rlimit old = lim;
	if (lim.rlim_cur < want) {
		lim.rlim_cur = want;
		ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &lim), 0);
	}
	// Fill every descriptor below 1100, so the socket gets one above.
	std::vector<int> fillers;
	const int null_fd = open("/dev/null", O_RDONLY);
	for (;;) {
		const int fd = dup(null_fd);
		if (fd < 0) break;
		fillers.push_back(fd);
		if (fd >= 1100) break;
	}
	{
		Listener l;
		PCSBSocket c(0, false);
		EXPECT_GT(c.descriptor(), 1024);
		c.Connect(kLoopback, l.port);
		EXPECT_EQ(wait_leaving(c, status_Pending), status_Connected);
	}
	for (int fd : fillers) close(fd);
	close(null_fd);
	setrlimit(RLIMIT_NOFILE, &old);
}

TEST(Sockets, UdpReachesItself)
{
	PCSBSocketUDP u;
	ASSERT_EQ(u.udp_init(0, 2), 1);
	sockaddr_in a{};
	socklen_t len = sizeof a;
	ASSERT_EQ(getsockname(u.mWinSocket, reinterpret_cast<sockaddr*>(&a), &len), 0);
	const uint16_t port = ntohs(a.sin_port);
	ASSERT_EQ(u.udp_WriteData("ping", 4, INADDR_LOOPBACK, port), 4);
	char buf[16];
	uint32_t from = 0;
	uint16_t from_port = 0;
	long n = -1;
	for (int i = 0; i < 5000 && n < 0; ++i) {
		n = u.ReadData(buf, sizeof buf, &from, &from_port);
		if (n < 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
	}
	ASSERT_EQ(n, 4);
	EXPECT_EQ(std::string(buf, 4), "ping");
	EXPECT_EQ(from, uint32_t(INADDR_LOOPBACK));
	EXPECT_EQ(from_port, port);
	EXPECT_EQ(u.Cleanup(), 0);
	EXPECT_EQ(u.Cleanup(), -1);
	EXPECT_EQ(printf_null("%d", 1), 0);
}

}  // namespace
