// Pixels that one process decodes and another maps, without a copy: each
// image lives in a memfd of its own, handed over sealed against resizing.
#pragma once

#include <opencv2/core/mat.hpp>

namespace tesmic {

// For the decoding process: allocates every cv::Mat in a memfd of its own
// (set as the default allocator before decoding).
cv::MatAllocator* memfdAllocator();

// The memfd that holds exactly the whole of image, sealed so that it can no
// longer shrink or grow; -1 when image was not allocated by memfdAllocator
// or is a part of a larger one. The descriptor belongs to the image.
int sealedMemfdOf(const cv::Mat& image);

// For the receiving process: the pixels in fd as a rows x cols image of
// type, mapped shared and writable; unmapped when the last cv::Mat using
// them goes. Empty when fd is not sealed against shrinking or is smaller
// than the image, so a sender cannot pull the pages away under the reader.
// fd may be closed afterwards.
cv::Mat mapSharedPixels(int fd, int rows, int cols, int type);

}  // namespace tesmic
