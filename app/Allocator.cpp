#include "app/Allocator.h"

#include <cstdlib> // defines __GLIBC__ where it applies
#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace Allocator {

// The spectrum step allocates and frees some 40 MB per frame with a long FFT time
// (transform buffers, filter copies). glibc hands such blocks back to the system on
// every free, so each frame pays thousands of page faults (a 1000 s window went from
// 26 to 40 ms a frame in the decoder's thread). Keep them in the process instead.
void keepLargeBlocksInProcess()
{
#if defined(__GLIBC__)
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 128 << 20);
#endif
}

} // namespace Allocator
