// Feeds arbitrary bytes to the HTTP response reader, cut into pieces the input itself
// chooses, as a socket would deliver them. The response comes over plain HTTP: whatever
// it holds, the reader must keep its memory bounded, agree with itself however the
// bytes are cut, and never take body bytes for header lines.
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
	return 0;
}
