// Handing memory the program has freed back to the system.
#pragma once

namespace ocelis {

// The C library keeps freed blocks for reuse, also in the middle of its heaps, where they
// count as the process's memory until something takes them again. After dropping large
// pixel buffers for good, this returns such pages; it does nothing where the C library
// offers no way. Costs a walk over the free lists: not for every picture.
void ReturnFreedMemory();

} // namespace ocelis
