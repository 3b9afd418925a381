#pragma once

// Hands the memory the program has freed back to the system, so that the process's resident
// size falls after a big table is emptied or replaced (the allocator otherwise keeps freed
// chunks for reuse). Costs a walk over the free lists; call after large frees, not per row.
// Never fails; does nothing where the allocator offers no such call.
void releaseFreeMemory();
