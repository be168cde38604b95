// The program's entry: single-instance test, hand-over, start and shutdown order.
#pragma once

#include <string>

namespace ocelis {

// Runs Ocelis with the process's command line; returns the exit code.
int RunOcelis(int argc, char** argv);

// The argument a later start sends: a relative path made absolute against its own working
// folder; anything else unchanged.
std::string HandOverArgument(const std::string& argument);

// True when a Qt GUI can start here (a platform chosen, or an X11/Wayland display).
bool DisplayAvailable();

} // namespace ocelis
