// The translator's property adapters of the generic widgets in this folder. Called once at
// start-up (and by tests) before a language file is applied; calling again does no harm.
#pragma once

namespace ocelis {

void RegisterGuiPropAdapters();

} // namespace ocelis
