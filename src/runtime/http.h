#pragma once
// The HTTP downloader's global object: the proxy settings (kept in the installer's
// preferences file) and the six download slots. Slots 2 to 5 carry the network
// install's streams; 0 and 1 the server-list and file-list fetches.
#include <string>
#include <vector>

class down_class;

class http_class {
public:
	http_class() = default;
	http_class(const http_class&) = delete;
	http_class& operator=(const http_class&) = delete;

	std::string proxy_host;  // empty: no proxy ("_proxy_host")
	std::string proxy_port;  // the port as typed, for the preferences window only ("_proxy_port")
	int proxy_port_int = 0;  // 0: no proxy; the low 16 bits are the port ("_proxy_port_int")
	down_class* slots[6] = {};
};

extern http_class http;

// Server-name suffixes that bypass the proxy.
extern std::vector<std::string> gProxyExclude;
