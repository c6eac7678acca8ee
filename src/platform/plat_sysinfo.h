#pragma once
// Facts about the machine for the log header.
#include <string>

// The kernel's release ("6.1.0-13-amd64"), "?" when unknown.
std::string plat_os_release();
// The first processor's clock in MHz from /proc/cpuinfo, -1 when unknown.
int plat_cpu_mhz();
// Physical memory in MB, -1 when unknown.
long plat_ram_mb();
// The "cpu MHz" value of a /proc/cpuinfo text, -1 when it has none.
int plat_cpu_mhz_of(const std::string& cpuinfo);
