// The downloader against real HTTP software on the loopback: python3's http.server (an
// HTTP/1.0 server) and nginx as origins, each reached directly and through tinyproxy.
// Every server is started here, as the test's user, on a free port of 127.0.0.1, with
// its configuration, logs and pid file in the test's own folder, and is stopped
// whatever happens: at the end, on a failed assertion, and when the test's own time
// bound or a signal ends the program (and, should this program die, the kernel ends
// them with it).
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "runtime/http.h"
#include "runtime/io_utils.h"
#include "support/archive_tools.h"
#include "support/test_env.h"

namespace {

using std::chrono::seconds;
using steady = std::chrono::steady_clock;

constexpr unsigned kTestBoundSeconds = 150;  // below the CTest time-out, so the servers go first
constexpr seconds kStartBound{10};
constexpr seconds kStopBound{5};
constexpr seconds kDownloadBound{60};
constexpr int kStartTries = 3;  // a free port another program takes before the server does
constexpr auto kPollPause = std::chrono::milliseconds(20);
constexpr auto kStepPause = std::chrono::microseconds(100);
constexpr size_t kBigBytes = 10 * 1000 * 1000;
constexpr char kLoopback[] = "127.0.0.1";
constexpr mode_t kLogMode = 0600;
constexpr int kExecFailed = 127;  // the shell's status for a program that could not start

// Where Debian installs the programs; the PATH may name other pythons first.
const char* const kProgramDirs[] = {"/usr/sbin", "/usr/bin", "/sbin", "/bin"};
const char kSetupHint[] = " is missing: scripts/lib/setup.sh installs it";

// The files every origin serves, and the nginx page whose server-side include makes
// nginx send its body chunked (it cannot know the length in advance).
const char* const kFiles[] = {"empty", "one", "big.bin"};
constexpr char kPage[] = "page.html";
constexpr char kPageText[] =
    "<html>before <!--# include virtual=\"/big.bin\" --> between <!--# echo var=\"unset\" default=\"dflt\" --> "
    "after</html>\n";
const char* const kPageExpected[] = {"<html>before ", " between dflt after</html>\n"};

// ---- Server processes

// Process groups to end if the program is stopped before the destructors run.
constexpr int kMaxServers = 8;
volatile sig_atomic_t g_groups[kMaxServers];

constexpr char kEndedEarly[] = "http_real_servers: ended by a signal or its time bound; stopping its servers\n";

void end_all_groups(int)
{
	const ssize_t written = write(STDERR_FILENO, kEndedEarly, sizeof kEndedEarly - 1);
	(void)written;
	for (volatile sig_atomic_t& g : g_groups)
		if (g > 0) kill(-pid_t(g), SIGKILL);
	_exit(1);
}

std::string find_program(const char* name)
{
	for (const char* dir : kProgramDirs) {
		const std::string p = std::string(dir) + "/" + name;
		if (access(p.c_str(), X_OK) == 0) return p;
	}
	return "";
}

int free_port()
{
	const int fd = socket(AF_INET, SOCK_STREAM, 0);
	sockaddr_in a{};
	a.sin_family = AF_INET;
	a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
	socklen_t len = sizeof a;
	int port = 0;
	if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
	    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0)
		port = ntohs(a.sin_port);
	close(fd);
	return port;
}

bool accepts_connections(int port)
{
	const int fd = socket(AF_INET, SOCK_STREAM, 0);
	sockaddr_in a{};
	a.sin_family = AF_INET;
	a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
	a.sin_port = htons(uint16_t(port));
	const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
	close(fd);
	return ok;
}

// One server in a process group of its own, its output in a log file.
class server_process {
public:
	server_process(const std::vector<std::string>& argv, const std::string& log, int port) : port_(port)
	{
		// Made before the fork: the child only calls what is safe after one.
		std::vector<char*> args;
		for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
		args.push_back(nullptr);
		const pid_t parent = getpid();
		pid_ = fork();
		if (pid_ == 0) {
			setpgid(0, 0);
			prctl(PR_SET_PDEATHSIG, SIGKILL);
			if (getppid() != parent) _exit(1);
			const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, kLogMode);
			const int in = open("/dev/null", O_RDONLY);
			dup2(in, STDIN_FILENO);
			dup2(out, STDOUT_FILENO);
			dup2(out, STDERR_FILENO);
			execv(args[0], args.data());
			_exit(kExecFailed);
		}
		if (pid_ > 0) {
			setpgid(pid_, pid_);  // also here, so the group exists before any signal needs it
			for (volatile sig_atomic_t& g : g_groups)
				if (g == 0) {
					g = pid_;
					break;
				}
		}
	}
	~server_process() { stop(); }
	server_process(const server_process&) = delete;
	server_process& operator=(const server_process&) = delete;

	int port() const { return port_; }

	// Whether it listens within the bound; false when it ended first.
	bool wait_listening()
	{
		const auto until = steady::now() + kStartBound;
		while (steady::now() < until) {
			if (!running()) return false;
			if (accepts_connections(port_)) return running();
			std::this_thread::sleep_for(kPollPause);
		}
		return false;
	}

	void stop()
	{
		if (pid_ <= 0) return;
		kill(-pid_, SIGTERM);
		const auto until = steady::now() + kStopBound;
		while (running() && steady::now() < until) std::this_thread::sleep_for(kPollPause);
		// While it is not reaped its group cannot go to another program: end what it left
		// behind in the group, then reap it.
		kill(-pid_, SIGKILL);
		waitpid(pid_, nullptr, 0);
		for (volatile sig_atomic_t& g : g_groups)
			if (g == pid_) g = 0;
		pid_ = -1;
	}

private:
	// Whether it still runs; an ended one stays unreaped until stop().
	bool running()
	{
		if (pid_ <= 0) return false;
		siginfo_t info{};
		return waitid(P_PID, id_t(pid_), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == 0;
	}

	pid_t pid_ = -1;
	int port_;
};

// ---- Downloads

std::string md5_of(const std::string& path)
{
	std::string digest;
	EXPECT_EQ(calc_file_md5(path, digest), 0) << path;
	return digest;
}

struct fetched {
	bool ok = false;
	bool chunked = false;
	std::string md5;
};

// One GET through down_class, to the origin on `port` (through the proxy setting when
// it is set), polled to its verdict as the slots are.
fetched fetch(int port, const std::string& path, const std::string& dest)
{
	const std::map<std::string, std::string> headers = {{"Host", std::string(kLoopback) + ":" + std::to_string(port)},
	                                                    {"User-agent", http_user_agent()},
	                                                    {"Connection", "close"}};
	down_class d(kLoopback, uint16_t(port), path.c_str(), false, headers, nullptr, 0, dest.c_str());
	const auto until = steady::now() + kDownloadBound;
	while (!d.IsComplete() && !d.IsDone() && !d.IsErr() && steady::now() < until) {
		d.DoProcessing();
		std::this_thread::sleep_for(kStepPause);
	}
	d.close_output();
	fetched f;
	f.ok = d.Succeeded();
	f.chunked = d.response.chunked;
	f.md5 = md5_of(dest);
	return f;
}

// ---- The servers' configurations

std::string nginx_conf(const std::string& dir, const std::string& root, int port)
{
	std::string c = "daemon off;\nmaster_process off;\nworker_processes 1;\n";
	c += "pid " + dir + "nginx.pid;\nerror_log " + dir + "nginx-error.log;\n";
	c += "events { worker_connections 64; }\nhttp {\n  access_log off;\n";
	for (const char* t : {"client_body", "proxy", "fastcgi", "uwsgi", "scgi"})
		c += std::string("  ") + t + "_temp_path " + dir + "nginx-" + t + ";\n";
	c += "  server {\n    listen " + std::string(kLoopback) + ":" + std::to_string(port) + ";\n";
	c += "    root " + root + ";\n    location = /" + kPage + " { ssi on; }\n  }\n}\n";
	return c;
}

std::string tinyproxy_conf(const std::string& dir, int port)
{
	return "Port " + std::to_string(port) + "\nListen " + kLoopback + "\nTimeout 60\nMaxClients 16\n" +
	       "LogFile \"" + dir + "tinyproxy.log\"\nPidFile \"" + dir + "tinyproxy.pid\"\nLogLevel Info\n";
}

class HttpRealServers : public ::testing::Test {
protected:
	void SetUp() override
	{
		for (int s : {SIGALRM, SIGTERM, SIGINT, SIGHUP}) std::signal(s, end_all_groups);
		alarm(kTestBoundSeconds);
		ASSERT_TRUE(kx_test::write_file(root + "empty", ""));
		ASSERT_TRUE(kx_test::write_file(root + "one", kx_test::random_bytes(1, 1)));
		const std::string big = kx_test::random_bytes(kBigBytes, 2);
		ASSERT_TRUE(kx_test::write_file(root + "big.bin", big));
		ASSERT_TRUE(kx_test::write_file(root + kPage, kPageText));
		ASSERT_TRUE(kx_test::write_file(env.path("page-expected"),
		                                std::string(kPageExpected[0]) + big + kPageExpected[1]));
	}
	void TearDown() override
	{
		servers.clear();
		http.proxy_host.clear();
		http.proxy_port_int = 0;
		alarm(0);
	}

	// Starts a server on a free port, again on another port when the first is taken.
	server_process* start(const char* program, const std::function<std::vector<std::string>(int)>& argv)
	{
		const std::string path = find_program(program);
		if (path.empty()) {
			ADD_FAILURE() << program << kSetupHint;
			return nullptr;
		}
		for (int i = 0; i < kStartTries; ++i) {
			const int port = free_port();
			std::vector<std::string> args = argv(port);
			args.insert(args.begin(), path);
			auto s = std::make_unique<server_process>(args, dir + program + ".out", port);
			if (s->wait_listening()) {
				servers.push_back(std::move(s));
				return servers.back().get();
			}
		}
		ADD_FAILURE() << program << " did not start; see " << dir << program << ".out\n"
		              << kx_test::read_file(dir + program + ".out");
		return nullptr;
	}

	// Every file of the origin, directly and through the proxy, byte-exact.
	void fetch_all(const char* origin, int port, int proxy_port, bool with_page)
	{
		std::vector<std::pair<std::string, std::string>> wanted;
		for (const char* f : kFiles) wanted.push_back({f, md5_of(root + f)});
		if (with_page) wanted.push_back({kPage, md5_of(env.path("page-expected"))});
		for (int proxy : {0, proxy_port}) {
			http.proxy_host = kLoopback;
			http.proxy_port_int = proxy;
			for (const auto& [name, md5] : wanted) {
				const std::string dest = env.path(std::string("got-") + origin + "-" + std::to_string(proxy) + "-" + name);
				const fetched f = fetch(port, "/" + name, dest);
				SCOPED_TRACE(std::string(origin) + (proxy ? " through tinyproxy: /" : " directly: /") + name);
				EXPECT_TRUE(f.ok);
				EXPECT_EQ(f.md5, md5);
				if (name == kPage) {
					EXPECT_TRUE(f.chunked);
				}
			}
		}
	}

	kx_test::TempEnv env;
	const std::string dir = env.path("");
	const std::string root = env.path("www/");
	std::vector<std::unique_ptr<server_process>> servers;
};

TEST_F(HttpRealServers, FilesArriveByteExactDirectlyAndThroughAProxy)
{
	server_process* python = start("python3", [&](int port) {
		return std::vector<std::string>{"-m", "http.server", "--bind", kLoopback, "--directory", root,
		                                std::to_string(port)};
	});
	server_process* nginx = start("nginx", [&](int port) {
		kx_test::write_file(dir + "nginx.conf", nginx_conf(dir, root, port));
		return std::vector<std::string>{"-p", dir, "-c", dir + "nginx.conf", "-e", dir + "nginx-error.log"};
	});
	server_process* proxy = start("tinyproxy", [&](int port) {
		kx_test::write_file(dir + "tinyproxy.conf", tinyproxy_conf(dir, port));
		return std::vector<std::string>{"-d", "-c", dir + "tinyproxy.conf"};
	});
	ASSERT_TRUE(python && nginx && proxy);
	fetch_all("python", python->port(), proxy->port(), false);
	fetch_all("nginx", nginx->port(), proxy->port(), true);
}

}  // namespace
