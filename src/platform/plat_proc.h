#pragma once
// Starting another program.
#include <string>
#include <vector>

// Forks and executes `path` with the argument list `args` (args[0] first). Returns 0
// once the child has executed the program, or the errno of the failed fork or exec;
// a child whose exec failed has already ended. *child gets the child's process id.
int plat_exec_child(const std::string& path, const std::vector<std::string>& args, int* child);
