// The benchmarks of the bounds fitted to a sample, registered with Google Benchmark.
#pragma once

namespace tesmic::bench {

// sample_fit/WxH at 1, 12 and 24 megapixels: fitBoundsToSample on every
// core, over a real photograph scaled to the size with a shaded green
// ellipse on it and noise over all, the sample a drag over the middle fifth
// of the ellipse. Each size checks once that the fit marks the ellipse.
void registerSampleFitBenchmarks();

}  // namespace tesmic::bench
