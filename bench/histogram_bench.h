// The control panel's histograms, registered with Google Benchmark.
#pragma once

namespace tesmic::bench {

// At 1, 12 and 24 megapixels (the built-in example's picture enlarged, so
// that flat areas make long runs of one value), each timed side by side:
// - histogram_redraw: what a change of the bounds costs the open panel,
//   from the rows it takes (histogramRowStep): the counts of the pixels that
//   pass the other channels, then the three pictures drawn; the bounds take
//   turns between two values as in a drag;
// - histogram_redraw_every_row: the same from every row;
// - histogram_whole: the whole image's counts, taken once when the panel
//   first opens;
// - histogram_mask_pass: the mask's own pass on the same image and bounds.
void registerHistogramBenchmarks();

}  // namespace tesmic::bench
