#pragma once
// The network install run's rules, apart from its step (grab_files in engine.h): the
// stream count the measured rate asks for, the server a failed download moves to, and
// the hook through which new_format opens the maker's download page.
#include <string>

// Streams the run may use; stream s downloads through HTTP slot s + net_first_slot.
constexpr int net_stream_count = 4;
constexpr int net_first_slot = 2;
// A stream whose download failed asks again no sooner than this, in frame-clock seconds.
constexpr float net_retry_delay = 1.0f;

// The streams wanted at `rate_kb_s` (KB per second over the whole run): 9, 8, 6, 4 or
// 2; a manual count (non-zero) replaces it. Above 4 simply means all four streams.
int ENG_stream_target(float rate_kb_s, int manual_count);
// The server a failed download moves to, from one value of rand(): the curve
// (rand / 2^31)^1.5 over `server_count` servers, favouring the first; 0 when there is
// no server.
int ENG_failover_server(int rand_value, int server_count);

// Opens a web address in the user's browser. The shell installs the real opener; until
// then the address is written to the log and to standard error. Returns 0 or an error.
using ENG_url_fn = int (*)(std::string url);
// Returns the hook installed before; null restores the default.
ENG_url_fn ENG_set_go_to_URL_hook(ENG_url_fn f);
int ENG_go_to_URL(const std::string& url);
