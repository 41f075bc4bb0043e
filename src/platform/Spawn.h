// Starting a program the way every front end does: from an argument vector (never through a
// shell), detached in a session of its own, with standard input and output on /dev/null and none
// of the program's other descriptors (lines, sockets, logs). Nothing is left to reap: the program
// is adopted by init. A working folder that cannot be entered is a failure to start.
#pragma once

#include <string>
#include <vector>

namespace marlo {

// False when the program cannot be started (not found, not executable, no process).
// `workDir` empty: the program starts in our current folder.
bool SpawnDetached(const std::vector<std::string>& argv, const std::string& workDir = {});

}  // namespace marlo
