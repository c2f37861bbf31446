// Draws the sample image cerven.jpg: a scene in which the example bounds
// (hue above 175 or below 30, lightness strictly between 160 and 240,
// saturation above 90) find the light reds and oranges and nothing else.
//
//   make_cerven OUTPUT.jpg
#include <cstdio>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

namespace {

// Colours are BGR; the comment gives OpenCV's 8-bit HLS of each.
const cv::Scalar kLightRed(110, 110, 255);      // H 0,   L 182, S 255: found
const cv::Scalar kSalmon(120, 140, 250);        // H 5,   L 185, S 239: found
const cv::Scalar kLightOrange(90, 170, 255);    // H 15,  L 172, S 255: found
const cv::Scalar kPinkRed(125, 110, 255);       // H 177, L 182, S 255: found
const cv::Scalar kDarkRed(20, 20, 150);         // H 0,   L 85:  too dark
const cv::Scalar kDeepRed(0, 0, 200);           // H 0,   L 100: too dark
const cv::Scalar kPaleRed(238, 238, 255);       // H 0,   L 246: too light
const cv::Scalar kDustyRose(170, 170, 205);     // H 0,   L 187, S 71: too grey
const cv::Scalar kGrey(160, 160, 160);          // S 0
const cv::Scalar kLightGreen(150, 235, 150);    // H 60
const cv::Scalar kLightBlue(250, 190, 150);     // H 102
const cv::Scalar kViolet(230, 150, 200);        // H 146

void drawBackground(cv::Mat& image) {
  // A cool grey-blue gradient: low saturation, never found.
  for (int y = 0; y < image.rows; ++y) {
    const double t = static_cast<double>(y) / (image.rows - 1);
    const cv::Vec3b colour(static_cast<uchar>(150 + 40 * t),
                           static_cast<uchar>(135 + 35 * t),
                           static_cast<uchar>(125 + 30 * t));
    image.row(y).setTo(colour);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT.jpg\n", argv[0]);
    return 2;
  }
  cv::Mat scene(600, 800, CV_8UC3);
  drawBackground(scene);
  const int aa = cv::LINE_AA;

  // Found: light, saturated reds and oranges.
  cv::circle(scene, {130, 130}, 80, kLightRed, cv::FILLED, aa);
  cv::rectangle(scene, cv::Rect(260, 60, 150, 110), kLightOrange, cv::FILLED);
  cv::ellipse(scene, {560, 120}, {110, 55}, 20, 0, 360, kSalmon, cv::FILLED, aa);
  const std::vector<cv::Point> star = {{700, 240}, {725, 300}, {790, 300},
                                       {740, 340}, {760, 405}, {700, 365},
                                       {640, 405}, {660, 340}, {610, 300},
                                       {675, 300}};
  cv::fillPoly(scene, std::vector<std::vector<cv::Point>>{star}, kPinkRed, aa);

  // Not found: reds that are too dark, too light or too grey, greys and
  // other hues.
  cv::circle(scene, {130, 360}, 75, kDarkRed, cv::FILLED, aa);
  cv::rectangle(scene, cv::Rect(240, 250, 130, 130), kDeepRed, cv::FILLED);
  cv::circle(scene, {480, 320}, 70, kPaleRed, cv::FILLED, aa);
  cv::rectangle(scene, cv::Rect(40, 470, 160, 90), kDustyRose, cv::FILLED);
  cv::rectangle(scene, cv::Rect(240, 450, 120, 120), kGrey, cv::FILLED);
  cv::circle(scene, {450, 510}, 60, kLightGreen, cv::FILLED, aa);
  cv::ellipse(scene, {590, 500}, {70, 45}, -15, 0, 360, kLightBlue, cv::FILLED,
              aa);
  cv::circle(scene, {730, 520}, 50, kViolet, cv::FILLED, aa);

  if (!cv::imwrite(argv[1], scene, {cv::IMWRITE_JPEG_QUALITY, 95})) {
    std::fprintf(stderr, "cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
