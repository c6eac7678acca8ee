// Feeds arbitrary bytes to the HTTP response reader, cut into pieces the input itself
// chooses, as a socket would deliver them, and then the body that follows the head to
// the chunk decoder: whole, in pieces the input chooses, and byte by byte. The response
// comes over plain HTTP: whatever it holds, the reader must keep its memory bounded,
// agree with itself however the bytes are cut, and never take body bytes for header
// lines; the decoder must give the same data and the same end (done or failed) however
// the body is cut, and never more data than it was given.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "runtime/http.h"

namespace {

http_response_reader read_in_pieces(const uint8_t* data, size_t size, size_t piece)
{
	http_response_reader r;
	for (size_t at = 0; at < size; at += piece) {
		const size_t n = size - at < piece ? size - at : piece;
		r.feed(reinterpret_cast<const char*>(data) + at, n);
		// The head never holds more than its limit.
		if (!r.headers_done && r.pending.size() > http_response_reader::max_header_bytes) std::abort();
	}
	return r;
}

struct decoded {
	std::string data;
	bool done = false;
	bool failed = false;
	bool operator==(const decoded&) const = default;
};

// The longest piece the input's own cuts make: short enough that a body is cut many times.
constexpr size_t max_cut = 37;

// The body through one decoder, in pieces of `fixed_piece` bytes, or, when `cuts` are
// given, of lengths taken from them in turn (1 to max_cut). Decoding works in place, so
// each piece is copied first.
decoded decode_in_pieces(const std::string& body, const uint8_t* cuts, size_t cut_count, size_t fixed_piece)
{
	http_chunk_decoder d;
	decoded r;
	size_t next_cut = 0;
	for (size_t at = 0; at < body.size();) {
		const size_t piece = cut_count ? cuts[next_cut++ % cut_count] % max_cut + 1 : fixed_piece;
		const size_t n = body.size() - at < piece ? body.size() - at : piece;
		std::string buf = body.substr(at, n);
		const size_t out = d.decode(buf.data(), buf.size());
		if (out > buf.size()) std::abort();
		r.data.append(buf.data(), out);
		at += n;
	}
	r.done = d.done();
	r.failed = d.failed();
	if (r.done && r.failed) std::abort();
	return r;
}

// Whatever the head said, the body is decoded as chunked: the decoder must bear any bytes.
void check_chunk_decoder(const std::string& body, const uint8_t* data, size_t size)
{
	const decoded whole = decode_in_pieces(body, nullptr, 0, body.size() ? body.size() : 1);
	const decoded cut = decode_in_pieces(body, data, size, 1);
	const decoded bytewise = decode_in_pieces(body, nullptr, 0, 1);
	if (!(whole == cut) || !(whole == bytewise)) std::abort();
	if (whole.data.size() > body.size()) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	// The first byte chooses the piece size of the second reading.
	const size_t piece = size ? size_t(data[0] % 61) + 1 : 1;
	const http_response_reader whole = read_in_pieces(data, size, size ? size : 1);
	const http_response_reader cut = read_in_pieces(data, size, piece);

	if (whole.headers_done != cut.headers_done || whole.too_large != cut.too_large) std::abort();
	if (whole.headers_done) {
		if (whole.status != cut.status || whole.status_text != cut.status_text) std::abort();
		if (whole.content_length != cut.content_length || whole.pending != cut.pending) std::abort();
		if (whole.headers != cut.headers) std::abort();
		if (whole.status < 200 || whole.status > 999) std::abort();
		if (whole.content_length < -1) std::abort();
		// What is left is the input's tail: body, never re-scanned.
		if (whole.pending.size() > size ||
		    whole.pending != std::string(reinterpret_cast<const char*>(data) + size - whole.pending.size(),
		                                 whole.pending.size()))
			std::abort();
	}
	if (whole.too_large && (whole.headers_done || !whole.pending.empty())) std::abort();
	if (whole.headers_done) check_chunk_decoder(whole.pending, data, size);
	return 0;
}
