// The downloader: the response reader on its own, then whole downloads against the
// loopback server, directly and through the proxy setting.
#include <gtest/gtest.h>

#include <chrono>
#include <iterator>
#include <string>
#include <thread>
#include <utility>

#include "runtime/PCSBSocketUDP.h"
#include "runtime/http.h"
#include "runtime/xtim.h"
#include "support/archive_tools.h"
#include "support/loopback_http.h"
#include "support/test_env.h"

namespace {

using kx_test::HttpReply;
using kx_test::LoopbackHttp;

// ---- The response reader, fed by hand

http_response_reader read_all(const std::string& bytes, size_t piece = 1)
{
	http_response_reader r;
	for (size_t i = 0; i < bytes.size(); i += piece) r.feed(bytes.data() + i, std::min(piece, bytes.size() - i));
	return r;
}

TEST(HttpReader, StatusLinesHeadersAndTheEndOfTheHead)
{
	// Byte by byte and whole: the same result, body left over.
	for (size_t piece : {size_t(1), size_t(7), size_t(4096)}) {
		http_response_reader r = read_all(
		    "HTTP/1.1 200 OK\r\ncontent-length:\t12 \r\nX-A: first\r\nx-a: second\r\nno colon line\r\n\r\nbody", piece);
		ASSERT_TRUE(r.headers_done) << piece;
		EXPECT_EQ(r.status, 200);
		EXPECT_EQ(r.status_text, "OK");
		EXPECT_EQ(r.content_length, 12);
		EXPECT_EQ(r.headers.at("X-A"), "first");
		EXPECT_EQ(r.headers.size(), 2u);
		EXPECT_EQ(r.pending, "body");
	}
	// Twelve bytes are a status line; the reason phrase may be empty.
	http_response_reader r12 = read_all("HTTP/1.1 200\r\nContent-Length: 0\r\n\r\n");
	EXPECT_TRUE(r12.headers_done);
	EXPECT_EQ(r12.status, 200);
	EXPECT_EQ(r12.status_text, "");
	EXPECT_EQ(read_all("HTTP/1.1 200 \r\n\r\n").status_text, "");
	// Eleven are not, nor are letters where the digits belong.
	EXPECT_FALSE(read_all("HTTP/1.1 20\r\n\r\n").headers_done);
	EXPECT_FALSE(read_all("HTTP/1.1 2x0 OK\r\n\r\n").headers_done);
	// Interim responses are passed over, their headers with them.
	http_response_reader c = read_all("HTTP/1.1 100 Continue\r\nContent-Length: 5\r\n\r\nHTTP/1.1 201 Made\r\nContent-Length: 2\r\n\r\nok");
	EXPECT_EQ(c.status, 201);
	EXPECT_EQ(c.content_length, 2);
	EXPECT_EQ(c.pending, "ok");
	// Body bytes after the head are never scanned as header lines.
	http_response_reader b = read_all("HTTP/1.1 200 OK\r\n\r\nHTTP/1.1 404 No\r\n\r\n");
	EXPECT_EQ(b.status, 200);
	EXPECT_EQ(b.content_length, -1);
}

TEST(HttpReader, LengthsAreSixtyFourBitAndGarbageIsUnknown)
{
	EXPECT_EQ(read_all("HTTP/1.1 200 OK\r\nContent-Length: 3000000000\r\n\r\n").content_length, 3000000000LL);
	for (const char* bad : {"-1", "12abc", "", "99999999999999999999", "0x10"})
		EXPECT_EQ(read_all(std::string("HTTP/1.1 200 OK\r\nContent-Length: ") + bad + "\r\n\r\n").content_length, -1)
		    << bad;
}

TEST(HttpReader, AnEndlessHeadStopsAtTheLimitWithBoundedMemory)
{
	http_response_reader r;
	r.feed("HTTP/1.1 200 OK\r\n", 17);
	const std::string line = "X-Filler: " + std::string(100, 'f') + "\r\n";
	size_t fed = 0;
	while (!r.too_large && fed < 1000000) {
		r.feed(line.data(), line.size());
		fed += line.size();
		ASSERT_LE(r.pending.size(), http_response_reader::max_header_bytes);
	}
	EXPECT_TRUE(r.too_large);
	EXPECT_LE(fed, http_response_reader::max_header_bytes + line.size());
	// One line without an end is bounded the same way.
	http_response_reader one;
	const std::string chunk(4096, 'a');
	for (int i = 0; i < 40 && !one.too_large; ++i) one.feed(chunk.data(), chunk.size());
	EXPECT_TRUE(one.too_large);
	EXPECT_FALSE(one.headers_done);
}

TEST(HttpReader, ATransferCodingHasNoLengthOfItsOwn)
{
	// As a proxy passes them on: the length of the framed bytes beside the coding.
	http_response_reader both =
	    read_all("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nContent-Length: 25\r\n\r\n5\r\n");
	EXPECT_TRUE(both.chunked);
	EXPECT_EQ(both.content_length, -1);
	EXPECT_EQ(both.pending, "5\r\n");
	EXPECT_TRUE(read_all("HTTP/1.1 200 OK\r\ntransfer-encoding:  Chunked \r\n\r\n").chunked);
	// A coding the downloader cannot undo leaves the body without a length.
	http_response_reader gzip = read_all("HTTP/1.1 200 OK\r\nContent-Length: 4\r\nTransfer-Encoding: gzip, chunked\r\n\r\n");
	EXPECT_FALSE(gzip.chunked);
	EXPECT_EQ(gzip.content_length, -1);
	EXPECT_FALSE(read_all("HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\n").chunked);
}

// A body framed in chunks of the given sizes (the rest in one last chunk), the
// extension on every chunk, then the trailer lines.
std::string chunked(const std::string& body, std::vector<size_t> sizes, const std::string& ext = "",
                    const std::string& trailer = "")
{
	static const char hex[] = "0123456789abcdef";
	std::string out;
	size_t at = 0;
	sizes.push_back(body.size());
	for (size_t n : sizes) {
		n = std::min(n, body.size() - at);
		if (n == 0) continue;
		std::string size;
		for (size_t v = n; v; v >>= 4) size.insert(size.begin(), hex[v & 15]);
		out += size + ext + "\r\n" + body.substr(at, n) + "\r\n";
		at += n;
	}
	return out + "0" + ext + "\r\n" + trailer + "\r\n";
}

struct decoded {
	std::string body;
	bool done, failed;
};

decoded decode_all(const std::string& framed, size_t piece)
{
	http_chunk_decoder d;
	decoded r{};
	for (size_t at = 0; at < framed.size(); at += piece) {
		std::string buf = framed.substr(at, piece);
		r.body.append(buf.data(), d.decode(buf.data(), buf.size()));
	}
	r.done = d.done();
	r.failed = d.failed();
	return r;
}

TEST(HttpChunks, DecodedInAnyPiecesWithExtensionsAndTrailersDropped)
{
	const std::string body = kx_test::random_bytes(70000, 3);
	const std::string framings[] = {
	    chunked(body, {1, 7, 4096, 65536}),
	    chunked(body, {16, 255}, ";name=value;flag", "X-Digest: abc\r\nX-More: 1\r\n"),
	    chunked(body, {}, " \t; spaced = \"quoted;\\\"\"", "Trailer-Only: x\r\n"),
	    "0010\r\n" + body.substr(0, 16) + "\r\n" + "FFF\r\n" + body.substr(16, 0xfff) + "\r\n" +
	        chunked(body.substr(16 + 0xfff), {}),
	};
	for (const std::string& framed : framings)
		for (size_t piece : {size_t(1), size_t(5), size_t(65536), framed.size()}) {
			const decoded d = decode_all(framed, piece);
			EXPECT_TRUE(d.done) << piece;
			EXPECT_FALSE(d.failed) << piece;
			EXPECT_EQ(d.body, body) << piece;
		}
	EXPECT_TRUE(decode_all("0\r\n\r\n", 1).done);
	// Cut before its last chunk: not done, not failed; the closing connection decides.
	const decoded cut = decode_all(chunked("hello", {}).substr(0, 10), 1);
	EXPECT_FALSE(cut.done);
	EXPECT_FALSE(cut.failed);
	EXPECT_EQ(cut.body, "hello");
}

TEST(HttpChunks, MalformedFramingFailsAndNothingBoundlessIsKept)
{
	const std::string endless(http_response_reader::max_header_bytes + 1, 'x');
	for (const std::string& bad :
	     {std::string("\r\n\r\n"), std::string("g\r\nx\r\n0\r\n\r\n"), std::string("-1\r\n"), std::string("0x5\r\n"),
	      std::string("5\nhello\n0\n\n"), std::string("5\r\nhelloX\r\n0\r\n\r\n"), std::string("5 6\r\n"),
	      std::string("1000000000000000000\r\n"), "5;" + endless, "0\r\n" + endless, std::string("0\r\n\r\nx"),
	      std::string("0\r\nX: 1\rY\r\n\r\n")})
		for (size_t piece : {size_t(1), bad.size()}) {
			const decoded d = decode_all(bad, piece);
			EXPECT_TRUE(d.failed) << bad.substr(0, 40) << " in pieces of " << piece;
			EXPECT_FALSE(d.done);
		}
	// The largest size there is streams through in place.
	http_chunk_decoder d;
	std::string head = "7fffffffffffffff\r\n";
	EXPECT_EQ(d.decode(head.data(), head.size()), 0u);
	std::string data = kx_test::random_bytes(65536, 9);
	const std::string copy = data;
	for (int i = 0; i < 16; ++i) {
		ASSERT_EQ(d.decode(data.data(), data.size()), data.size());
		ASSERT_EQ(data, copy);
	}
	EXPECT_FALSE(d.done() || d.failed());
}

TEST(HttpPath, EncodesWhatCouldSplitOrCutTheRequest)
{
	EXPECT_EQ(http_encode_path("/a b.zip"), "/a%20b.zip");
	EXPECT_EQ(http_encode_path("/x\r\nHost: evil\r\n"), "/x%0D%0AHost:%20evil%0D%0A");
	EXPECT_EQ(http_encode_path("/\"#%<>?\\^{|}`"), "/%22%23%25%3C%3E%3F%5C%5E%7B%7C%7D%60");
	EXPECT_EQ(http_encode_path(std::string("/\x7f\xe9\x01", 4)), "/%7F%E9%01");
	EXPECT_EQ(http_encode_path("/All/Resources/a-b_c.~(1)+[x]=@,;&$!'*.zip"), "/All/Resources/a-b_c.~(1)+[x]=@,;&$!'*.zip");
}

// ---- Whole downloads

int g_lookups = 0;
uint32_t failing_lookup(const char*)
{
	++g_lookups;
	return 0;
}

class HttpTest : public ::testing::Test {
protected:
	HttpTest() : log(env.path("log.txt"))
	{
		old_lookup = PCSBSocket_set_lookup(failing_lookup);
		g_lookups = 0;
		xtim.elapsed = 100.0f;
		use_proxy();
	}
	~HttpTest() override
	{
		for (int s = 0; s < http_slot_count; ++s) http.cancel(s);
		http.proxy_host.clear();
		http.proxy_port_int = 0;
		PCSBSocket_set_lookup(old_lookup);
	}
	void use_proxy()
	{
		http.proxy_host = "127.0.0.1";
		http.proxy_port_int = server.port();
	}
	// Polls the slot until it gives a verdict, for at most twenty seconds.
	int poll(int slot, const std::string& host, const std::string& path, const std::string& dest)
	{
		const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
		for (;;) {
			const int r = http.net_check(slot, host, path, dest);
			if (r != 0 || std::chrono::steady_clock::now() > until) return r;
			std::this_thread::sleep_for(std::chrono::microseconds(200));
		}
	}
	int get(const std::string& path, const HttpReply& reply, const std::string& dest)
	{
		server.route("example.test", path, reply);
		return poll(2, "example.test", path, dest);
	}
	size_t blocks() const
	{
		const std::string t = log.text();
		size_t n = 0;
		for (size_t at = t.find("HTTP Error for "); at != std::string::npos; at = t.find("HTTP Error for ", at + 1)) ++n;
		return n;
	}

	kx_test::TempEnv env;
	kx_test::LogCapture log;
	LoopbackHttp server;
	PCSB_lookup_fn old_lookup;
};

TEST_F(HttpTest, TheRequestIsByteExactThroughTheProxyAndDirect)
{
	HttpReply ok;
	ok.body = "x";
	ASSERT_EQ(get("/a b.zip", ok, env.path("a.zip")), 1);
	std::vector<kx_test::HttpRequest> reqs = server.requests();
	ASSERT_EQ(reqs.size(), 1u);
	EXPECT_EQ(reqs[0].raw,
	          "GET http://example.test/a%20b.zip HTTP/1.1\r\nConnection: close\r\nHost: example.test\r\n"
	          "User-agent: Installer-APL/10r1\r\n\r\n");
	EXPECT_TRUE(reqs[0].proxy_form);

	// Direct, on the server's own port: the same request in origin form.
	server.route("127.0.0.1", "/a b.zip", ok);
	{
		const std::map<std::string, std::string> h = {
		    {"Host", "127.0.0.1"}, {"User-agent", http_user_agent()}, {"Connection", "close"}};
		http.proxy_port_int = 0;
		down_class d("127.0.0.1", uint16_t(server.port()), "/a b.zip", false, h, nullptr, 0, env.path("b.zip").c_str());
		const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
		while (!d.IsComplete() && !d.IsDone() && std::chrono::steady_clock::now() < until) d.DoProcessing();
		d.close_output();
		EXPECT_TRUE(d.IsComplete());
	}
	reqs = server.requests();
	ASSERT_EQ(reqs.size(), 2u);
	EXPECT_EQ(reqs[1].raw,
	          "GET /a%20b.zip HTTP/1.1\r\nConnection: close\r\nHost: 127.0.0.1\r\nUser-agent: Installer-APL/10r1\r\n\r\n");

	// A path with a line break stays one request line.
	use_proxy();
	EXPECT_EQ(get("/x\r\nGET /y", ok, env.path("x")), 1);
	reqs = server.requests();
	const std::string& raw = reqs.back().raw;
	EXPECT_EQ(raw.substr(0, raw.find("\r\n")), "GET http://example.test/x%0D%0AGET%20/y HTTP/1.1");
	EXPECT_EQ(reqs.back().path, "/x\r\nGET /y");
}

TEST_F(HttpTest, TheseSucceed)
{
	const std::string body = kx_test::random_bytes(300000, 7);
	HttpReply pieces;
	pieces.body = body;
	pieces.chunk = 1000;
	pieces.pause_ms = 0;
	EXPECT_EQ(get("/pieces", pieces, env.path("pieces")), 1);
	EXPECT_EQ(kx_test::read_file(env.path("pieces")), body);

	HttpReply paused;
	paused.body = "slow but whole";
	paused.chunk = 5;
	paused.pause_ms = 30;
	EXPECT_EQ(get("/paused", paused, env.path("paused")), 1);
	EXPECT_EQ(kx_test::read_file(env.path("paused")), "slow but whole");

	HttpReply empty;
	EXPECT_EQ(get("/empty", empty, env.path("empty")), 1);
	EXPECT_TRUE(kx_test::path_exists(env.path("empty")));
	EXPECT_EQ(kx_test::read_file(env.path("empty")), "");
	EXPECT_EQ(http.slots[2], nullptr);

	HttpReply cont;
	cont.continue_first = true;
	cont.body = "after continue";
	EXPECT_EQ(get("/continue", cont, env.path("continue")), 1);
	EXPECT_EQ(kx_test::read_file(env.path("continue")), "after continue");

	HttpReply lower;
	lower.length = HttpReply::length_mode::lower_case;
	lower.body = "lower";
	EXPECT_EQ(get("/lower", lower, env.path("lower")), 1);

	HttpReply bare;
	bare.raw_head = "HTTP/1.1 200 \r\nContent-Length: 4\r\n\r\n";
	bare.body = "bare";
	EXPECT_EQ(get("/bare", bare, env.path("bare")), 1);
	EXPECT_EQ(kx_test::read_file(env.path("bare")), "bare");
	EXPECT_EQ(blocks(), 0u);
}

TEST_F(HttpTest, TheseFailWithTheDiagnosticsBlock)
{
	HttpReply missing;
	missing.status = 404;
	missing.reason = "Not Found";
	missing.body = "error page";
	EXPECT_EQ(get("/missing", missing, env.path("missing")), 2);
	EXPECT_EQ(kx_test::read_file(env.path("missing")), "error page");
	const std::string t = log.text();
	const std::string block = "HTTP Error for " + env.path("missing") +
	                          "\n   server     =example.test\n   file       =/missing\n   IsDone     =1\n"
	                          "   IsComplete =1\n   IsErr      =0\n   GetStat    =3\n   GetOSErr   =0\n"
	                          "   response   =Not Found (#404)\n\n";
	EXPECT_NE(t.find(block), std::string::npos) << t;
	EXPECT_EQ(blocks(), 1u);

	HttpReply none;
	none.length = HttpReply::length_mode::none;
	none.body = "no length";
	EXPECT_EQ(get("/none", none, env.path("none")), 2);
	EXPECT_EQ(blocks(), 2u);

	HttpReply surplus;
	surplus.length = HttpReply::length_mode::declared;
	surplus.declared_length = 3;
	surplus.body = "three and more";
	EXPECT_EQ(get("/surplus", surplus, env.path("surplus")), 2);
	EXPECT_EQ(blocks(), 3u);

	HttpReply reset;
	reset.body = std::string(200000, 'r');
	reset.close_after = 1000;
	reset.reset = true;
	EXPECT_EQ(get("/reset", reset, env.path("reset")), 2);
	EXPECT_EQ(blocks(), 4u);

	HttpReply early;
	early.body = std::string(5000, 'e');
	early.close_after = 100;
	EXPECT_EQ(get("/early", early, env.path("early")), 2);
	EXPECT_EQ(blocks(), 5u);

	// A small body waits in the file's buffer: the disk is found full only at the close.
	HttpReply ok;
	ok.body = "tiny";
	EXPECT_EQ(get("/full", ok, "/dev/full"), 2);
	EXPECT_EQ(blocks(), 6u);
	EXPECT_NE(log.text().find("   GetOSErr   =" + std::to_string(ENOSPC)), std::string::npos);
	// The file, not the server, was the reason.
	EXPECT_EQ(http.file_error(2), ENOSPC);

	// A refusal: the proxy's port just closed.
	{
		LoopbackHttp gone;
		http.proxy_port_int = gone.port();
	}
	EXPECT_EQ(poll(2, "example.test", "/refused", env.path("refused")), 2);
	EXPECT_EQ(blocks(), 7u);
	EXPECT_EQ(http.file_error(2), 0) << "the server was the reason";

	// A name that does not resolve: no proxy, and the lookup fails without a query.
	http.proxy_port_int = 0;
	EXPECT_EQ(http.net_check(2, "nowhere.example", "/x", env.path("x")), 2);
	EXPECT_EQ(g_lookups, 1);
	EXPECT_NE(log.text().find("Translated server nowhere.example to IP addy: 0.0.0.0 and port = 80\n"),
	          std::string::npos);
	EXPECT_NE(log.text().find("   GetStat    =0\n   GetOSErr   =20011\n"), std::string::npos);
	EXPECT_EQ(blocks(), 8u);
}

TEST_F(HttpTest, ATransferCodingOverridesTheLength)
{
	const std::string framed = chunked("hello world", {4});
	// A proxy's pass-through: the framed length beside the coding.
	HttpReply passed;
	passed.raw_head = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nContent-Length: " +
	                  std::to_string(framed.size()) + "\r\n\r\n";
	passed.body = framed;
	EXPECT_EQ(get("/passed", passed, env.path("passed")), 1);
	EXPECT_EQ(kx_test::read_file(env.path("passed")), "hello world");
	// A length that ends before the body: arriving in pieces, it must not cut the file.
	HttpReply short_length = passed;
	short_length.raw_head = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nTransfer-Encoding: chunked\r\n\r\n";
	short_length.chunk = 6;
	short_length.pause_ms = 20;
	EXPECT_EQ(get("/short", short_length, env.path("short")), 1);
	EXPECT_EQ(kx_test::read_file(env.path("short")), "hello world");
	EXPECT_EQ(blocks(), 0u);
	// A coding that cannot be undone is no file, whatever length stands beside it.
	HttpReply gzip;
	gzip.raw_head = "HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip\r\nContent-Length: 4\r\n\r\n";
	gzip.body = std::string("\x1f\x8b\x08\x00", 4);
	EXPECT_EQ(get("/gzip", gzip, env.path("gzip")), 2);
	EXPECT_EQ(blocks(), 1u);
}

TEST_F(HttpTest, ChunkedBodiesAreDecodedAsTheyStream)
{
	const std::string body = kx_test::random_bytes(300000, 11);
	const std::string head = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
	HttpReply streamed;
	streamed.raw_head = head;
	streamed.body = chunked(body, {1, 2, 3, 1000, 65535, 65536, 65537}, ";ext=1", "X-Trailer: t\r\n");
	streamed.chunk = 7000;
	EXPECT_EQ(get("/streamed", streamed, env.path("streamed")), 1);
	EXPECT_EQ(kx_test::read_file(env.path("streamed")), body);
	HttpReply empty;
	empty.raw_head = head;
	empty.body = "0\r\n\r\n";
	EXPECT_EQ(get("/empty", empty, env.path("empty")), 1);
	EXPECT_EQ(kx_test::read_file(env.path("empty")), "");
	EXPECT_EQ(blocks(), 0u);

	HttpReply malformed;
	malformed.raw_head = head;
	malformed.body = "5\r\nhello\r\nzz\r\nworld\r\n0\r\n\r\n";
	EXPECT_EQ(get("/malformed", malformed, env.path("malformed")), 2);
	EXPECT_NE(log.text().find("   GetOSErr   =" + std::to_string(EPROTO)), std::string::npos);
	EXPECT_EQ(blocks(), 1u);
	HttpReply cut = streamed;
	cut.chunk = 0;
	cut.close_after = (long long)cut.body.size() / 2;
	EXPECT_EQ(get("/cut", cut, env.path("cut")), 2);
	EXPECT_EQ(blocks(), 2u);
}

TEST_F(HttpTest, AHeadThatTricklesInIsAlive)
{
	HttpReply slow;
	slow.raw_head = "HTTP/1.1 200 OK\r\n";
	for (int i = 0; i < 6; ++i) slow.raw_head += "X-Slow-" + std::to_string(i) + ": line\r\n";
	slow.raw_head += "Content-Length: 4\r\n\r\n";
	slow.body = "late";
	slow.chunk = 10;
	slow.pause_ms = 30;
	server.route("example.test", "/slow", slow);
	// Each header line that arrives moves the frame clock on by two thirds of the
	// time-out: more than a whole time-out passes before the body.
	int r = 0;
	size_t lines = 0;
	const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
	while (r == 0 && std::chrono::steady_clock::now() < until) {
		r = http.net_check(2, "example.test", "/slow", env.path("slow"));
		if (down_class* d = http.slots[2]; d && !d->response.headers_done && d->response.headers.size() > lines) {
			lines = d->response.headers.size();
			xtim.elapsed += http_timeout_seconds * 2 / 3;
		}
		std::this_thread::sleep_for(std::chrono::microseconds(200));
	}
	EXPECT_GE(lines, 2u);
	EXPECT_EQ(r, 1);
	EXPECT_EQ(kx_test::read_file(env.path("slow")), "late");
}

TEST_F(HttpTest, ServerNamesThatAreNotHostNamesAreRefusedUnsent)
{
	// The name as it stands in the log: its control bytes escaped, so it never starts a line.
	const std::pair<std::string, std::string> names[] = {
	    {"a b", "a b"}, {"x?y", "x?y"}, {"host#frag", "host#frag"}, {"evil.example/x", "evil.example/x"},
	    {"under_score", "under_score"}, {"tab\there", "tab\\there"}, {"at@host", "at@host"},
	    {"caf\xe9.example", "caf\xe9.example"}, {"127.0.0.1:18080", "127.0.0.1:18080"},
	    {"evil.example\r\nERROR: forged\x1b[2J", "evil.example\\r\\nERROR: forged\\x1b[2J"}};
	for (const auto& [name, logged] : names) {
		EXPECT_EQ(http.net_check(2, name, "/f", env.path("f")), 2) << name;
		EXPECT_NE(log.text().find(std::string("WARNING: ") + "refusing to download from a server name that is not a "
		                          "plain host name: " + logged + "\n"),
		          std::string::npos)
		    << name;
		EXPECT_NE(log.text().find("   server     =" + logged + "\n"), std::string::npos) << name;
	}
	EXPECT_EQ(log.text().find("\nERROR"), std::string::npos);
	EXPECT_EQ(log.text().find('\x1b'), std::string::npos);
	EXPECT_EQ(blocks(), std::size(names));
	EXPECT_NE(log.text().find("   GetStat    =0\n   GetOSErr   =20011\n"), std::string::npos);
	http.proxy_port_int = 0;
	EXPECT_EQ(http.net_check(2, "a?b", "/f", env.path("f")), 2);
	EXPECT_EQ(g_lookups, 0);
	EXPECT_TRUE(server.requests().empty());
	use_proxy();
	HttpReply ok;
	ok.body = "x";
	server.route("Mixed-Case.9.example", "/f", ok);
	EXPECT_EQ(poll(2, "Mixed-Case.9.example", "/f", env.path("f")), 1);
}

TEST_F(HttpTest, SilenceTimesOutOnTheFrameClockWithoutABlock)
{
	HttpReply silent;
	silent.silence = true;
	server.route("example.test", "/silent", silent);
	for (int i = 0; i < 200; ++i) {
		ASSERT_EQ(http.net_check(2, "example.test", "/silent", env.path("s")), 0);
		std::this_thread::sleep_for(std::chrono::microseconds(200));
	}
	xtim.elapsed += 29.5f;
	EXPECT_EQ(http.net_check(2, "example.test", "/silent", env.path("s")), 0);
	xtim.elapsed += 1.0f;
	EXPECT_EQ(http.net_check(2, "example.test", "/silent", env.path("s")), 2);
	EXPECT_EQ(http.slots[2], nullptr);
	EXPECT_EQ(blocks(), 0u);
}

TEST_F(HttpTest, AHugeHeadFailsWithBoundedMemory)
{
	HttpReply huge;
	std::string head = "HTTP/1.1 200 OK\r\n";
	while (head.size() < 100000) head += "X-Filler: " + std::string(200, 'h') + "\r\n";
	huge.raw_head = head + "Content-Length: 1\r\n\r\n";
	huge.body = "b";
	server.route("example.test", "/huge", huge);
	int r = 0;
	const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
	while (r == 0 && std::chrono::steady_clock::now() < until) {
		r = http.net_check(2, "example.test", "/huge", env.path("huge"));
		if (http.slots[2]) {
			ASSERT_LE(http.slots[2]->response.pending.size(), http_response_reader::max_header_bytes);
		}
	}
	EXPECT_EQ(r, 2);
	EXPECT_NE(log.text().find("   GetOSErr   =" + std::to_string(EMSGSIZE)), std::string::npos);
}

TEST_F(HttpTest, ALengthAboveFourGigabitsIsReadWhole)
{
	HttpReply big;
	big.generated = 3000000000LL;
	server.route("example.test", "/big", big);
	int r = 0;
	long long seen_beyond_int = 0;
	const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(120);
	while (r == 0 && std::chrono::steady_clock::now() < until) {
		r = http.net_check(4, "example.test", "/big", "/dev/null");
		if (down_class* d = http.slots[4]) {
			EXPECT_EQ(d->content_length == -1 || d->content_length == 3000000000LL, true);
			if (d->bytes_written > 0x7fffffffLL) seen_beyond_int = d->bytes_written;
		}
	}
	EXPECT_EQ(r, 1);
	EXPECT_GT(seen_beyond_int, 0x7fffffffLL);
}

TEST_F(HttpTest, ConventionsAreQuittingAlerts)
{
	kx_test::AlertRecorder rec;
	EXPECT_THROW(http.net_check(6, "example.test", "/x", env.path("x")), kx_test::AlertExit);
	EXPECT_THROW(http.net_check(-1, "example.test", "/x", env.path("x")), kx_test::AlertExit);
	EXPECT_THROW(http.net_check(0, "host/", "/x", env.path("x")), kx_test::AlertExit);
	EXPECT_THROW(http.net_check(0, "example.test", "nopath", env.path("x")), kx_test::AlertExit);
	const auto a = rec.alerts();
	ASSERT_EQ(a.size(), 4u);
	EXPECT_EQ(a[0].line1, "Too many download objects requested!");
	EXPECT_EQ(a[0].file, "VAvered/OOPS_cpp/http");
	EXPECT_EQ(a[0].line, 232);
	EXPECT_EQ(a[2].line1, "net_check error! You have a dirchar at the end of the server name!");
	EXPECT_EQ(a[2].line4, "host/");
	EXPECT_EQ(a[3].line4, "nopath");
	EXPECT_EQ(a[3].line, 248);
	for (const auto& x : a) EXPECT_EQ(x.type, t_exit);
	for (down_class* s : http.slots) EXPECT_EQ(s, nullptr);
}

TEST_F(HttpTest, CancelEndsTheDownloadSoTheNextCallStartsAnew)
{
	HttpReply held;
	held.hold = true;
	held.body = "old";
	server.route("example.test", "/old", held);
	EXPECT_EQ(http.net_check(5, "example.test", "/old", env.path("old")), 0);
	http.cancel(5);
	EXPECT_EQ(http.slots[5], nullptr);
	HttpReply fresh;
	fresh.body = "new";
	EXPECT_EQ(get("/new", fresh, env.path("new")), 1) << "the slot must run the new request";
	EXPECT_EQ(kx_test::read_file(env.path("new")), "new");
	EXPECT_EQ(server.count("example.test", "/new"), 1u);
	server.release();
}

TEST_F(HttpTest, ProxyPortZeroOrAnExcludedSuffixMeansNoProxy)
{
	http.proxy_port_int = 0;
	EXPECT_FALSE(http.UseProxy("example.test", 80));
	EXPECT_EQ(http.ProxyHost("example.test", 80), "example.test");
	EXPECT_EQ(http.ProxyPort("example.test", 80), 80);
	EXPECT_EQ(http.net_check(1, "named.example", "/x", env.path("x")), 2);
	EXPECT_EQ(g_lookups, 1);  // the name itself was looked up, not the proxy

	http.proxy_port_int = 0x10000 + 8080;  // only the low 16 bits count
	EXPECT_TRUE(http.UseProxy("example.test", 80));
	EXPECT_EQ(http.ProxyPort("example.test", 80), 8080);
	gProxyExclude = {".test", "a-much-longer-suffix.example.test"};
	EXPECT_FALSE(http.UseProxy("example.test", 80));
	EXPECT_TRUE(http.UseProxy("test", 80));  // a suffix longer than the host never matches
	EXPECT_TRUE(http.UseProxy("example.org", 80));
	gProxyExclude.clear();
}

}  // namespace
