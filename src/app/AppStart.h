// The program's entry: single-instance test, hand-over, start and shutdown order.
#pragma once

namespace ocelis {

// Runs Ocelis with the process's command line; returns the exit code.
int RunOcelis(int argc, char** argv);

// True when a Qt GUI can start here (a platform chosen, or an X11/Wayland display).
bool DisplayAvailable();

} // namespace ocelis
