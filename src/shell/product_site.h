#pragma once
// The maker's addresses as the shell shows them. This port has no real maker site, so
// they live under the reserved .example domain.

inline constexpr const char* kMakerWebAddress = "http://www.kestrix.example/";
inline constexpr const char* kMakerSupportMail = "support@kestrix.example";
