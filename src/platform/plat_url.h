#pragma once
// Opening a web address with the user's browser.
#include <string>

// Hands the address to xdg-open, which keeps running on its own. Returns 0 once it was
// started, else the errno of the failed start.
int plat_open_url(const std::string& url);
