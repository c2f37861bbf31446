// The light decoders (src/formats) against cv::imread on large photos.
#pragma once

namespace tesmic::bench {

// decode/jpeg_12mp and decode/png_12mp: a 4000x3000 photo as a camera
// writes it, and the same saved as PNG with zlib's default level; and
// decode/<name> for each file TESMIC_BENCH_IMAGES names (colon-separated).
// Each iteration decodes the file both ways in turn, taking turns at going
// first: the light path's time (the file read into memory, then decoded)
// as the iteration's, cv::imread's as the counter opencv_ms; both also per
// megapixel (light_ms_per_mp, opencv_ms_per_mp). Skipped when the two
// disagree on a pixel.
void registerDecodingBenchmarks();

}  // namespace tesmic::bench
