#include "runtime/http.h"

http_class http;
std::vector<std::string> gProxyExclude;
