// Where the program keeps its per-user files: the configuration folder (the settings file and the
// old "marlo.ini") and the data folder (logs, downloads, macros, history, the trace file).
#pragma once

#include <string>

namespace marlo {

// $MARLO_CONFIG_DIR, else $XDG_CONFIG_HOME/marlo, else ~/.config/marlo. Not created here.
std::string ConfigDir();
// $XDG_DATA_HOME/marlo, else ~/.local/share/marlo. Not created here.
std::string DataDir();

}  // namespace marlo
