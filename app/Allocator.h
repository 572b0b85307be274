#pragma once
// The process's allocator settings, made once at the start of main (and of the
// benchmarks, so that their figures describe the program).

namespace Allocator {

// Keeps large freed blocks in the process (glibc) so that the per-frame buffers of
// a long spectrum window are not faulted in afresh every frame. Idempotent.
void keepLargeBlocksInProcess();

} // namespace Allocator
