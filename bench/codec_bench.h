// The codec helpers and the headless batch, registered with Google Benchmark.
#pragma once

namespace tesmic::bench {

// helper_start/<helper>/<format>: a fresh helper started, one small image of
// that format (JPEG, PNG, TIFF, WebP) decoded and the helper ended, for the
// light helper and the OpenCV one; the counter libraries is the number of
// shared libraries the helper has mapped once it answered.
// batch/up_to_4mp, batch/from_4mp, batch/all: a folder of photos (those
// under 4 megapixels, the rest, all) turned into masks, one headless tesmic
// a photo (DISPLAY empty, TESMIC_MASK), against one process of OpenCV doing
// imread, cvtColor, the rule and imwrite on each, timed in the same
// iterations, taking turns at going first (counter opencv_ms, and the ratio).
// The photos are those in TESMIC_BENCH_PHOTOS (*.jpg and *.png) when set;
// else made ones: two 1.5-megapixel photos and one of 12, each as JPEG and
// PNG.
void registerCodecBenchmarks();

}  // namespace tesmic::bench
