#include "runtime/http.h"

#include "runtime/hl_math.h"

http_class http;
std::vector<std::string> gProxyExclude;
