// The titles of the two windows, by which the toolkit knows them.
#pragma once

namespace tesmic {

inline constexpr char kMaskWindow[] = "Vysledek";  // the mask
inline constexpr char kImageWindow[] = "ORIG";     // the image, smoothed

}  // namespace tesmic
