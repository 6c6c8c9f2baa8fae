// In-place complex FFTs for the SK post-processing, with the plans kept between blocks.
//
// Planning a large transform can cost as much as running it (an odd prime size most of all), so
// plans are kept per (size, direction, alignment, threads), shared by every SK object of the process,
// the least recently used dropped beyond a bound, and all of them released when the library unloads.
// Read at each block, so a host may change them between blocks:
//   TRELVAN_FFT_PLANS    plans kept at most (default 8); 0 plans every transform afresh and drops it
//   TRELVAN_FFT_THREADS  threads a large block uses, 1 to 4; unset, as many as there are idle cores
//   TRELVAN_FFTW_WISDOM  a wisdom file: read once, measured plans made where it has none, and the
//                        file rewritten with them (measuring a large size takes seconds, once)
#pragma once

#include <fftw3.h>

#include <cstddef>

namespace trv::skfft {

// Threads worth using for a block of `n` points: 1 below the size where a second thread gains.
int threadsFor(std::size_t n);

// Transforms `n` values in place, unnormalised; `sign` is FFTW_FORWARD or FFTW_BACKWARD. False when
// no plan could be made, the data then untouched.
bool transform(fftw_complex* data, int n, int sign);

}  // namespace trv::skfft
