#pragma once
// The maker's addresses, one set of product settings. This port has no maker site of
// its own, so they are names under the reserved ".example" domain; tests reach them
// only through the proxy setting.

// The web site the about box sends the user to.
inline constexpr const char maker_web_address[] = "http://www.corvanelabs.example/";
// The host that serves the update-server list "/serverlist9.txt".
inline constexpr const char maker_web_host[] = "www.corvanelabs.example";
// The page where a newer installer is to be found.
inline constexpr const char maker_download_page[] = "http://www.corvanelabs.example/downloads/";
// Where users write for technical support.
inline constexpr const char maker_support_mail[] = "support@corvanelabs.example";
