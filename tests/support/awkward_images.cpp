#include "awkward_images.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <random>

#include <zlib.h>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

namespace tesmic::test {
namespace {

namespace fs = std::filesystem;

void writeBytes(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string readBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

void appendBigEndian(std::string& out, std::uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) {
    out.push_back(static_cast<char>((v >> shift) & 0xFF));
  }
}

void appendChunk(std::string& png, const char* type, const std::string& data) {
  appendBigEndian(png, static_cast<std::uint32_t>(data.size()));
  const std::string body = std::string(type, 4) + data;
  png += body;
  appendBigEndian(png, static_cast<std::uint32_t>(
                           crc32(0, reinterpret_cast<const Bytef*>(body.data()),
                                 static_cast<uInt>(body.size()))));
}

// The image data of a PNG: a zlib stream.
std::string deflated(const std::string& raw) {
  uLongf size = compressBound(raw.size());
  std::string out(size, '\0');
  compress(reinterpret_cast<Bytef*>(out.data()), &size,
           reinterpret_cast<const Bytef*>(raw.data()), raw.size());
  out.resize(size);
  return out;
}

std::string pngHeader(std::uint32_t width, std::uint32_t height,
                      std::uint8_t bitDepth, std::uint8_t colourType) {
  std::string png = "\x89PNG\r\n\x1a\n";
  std::string ihdr;
  appendBigEndian(ihdr, width);
  appendBigEndian(ihdr, height);
  ihdr += static_cast<char>(bitDepth);
  ihdr += static_cast<char>(colourType);
  ihdr += std::string(3, '\0');  // deflate, adaptive filtering, no interlace
  appendChunk(png, "IHDR", ihdr);
  return png;
}

// A photo-like scene with the sought colour in it, so that the windows show
// something on either side.
cv::Mat scene(int width, int height, int type = CV_8UC3) {
  cv::Mat bgr(height, width, CV_8UC3, cv::Scalar(150, 140, 130));
  cv::rectangle(bgr, cv::Rect(width / 4, height / 4, width / 2 + 1, height / 2 + 1),
                cv::Scalar(110, 110, 255), cv::FILLED);
  if (type == CV_8UC3) return bgr;
  cv::Mat converted;
  if (type == CV_16UC3) bgr.convertTo(converted, CV_16UC3, 257.0);
  if (type == CV_8UC4) {
    cv::Mat channels[] = {bgr, cv::Mat(height, width, CV_8UC1, cv::Scalar(128))};
    cv::merge(channels, 2, converted);
  }
  return converted;
}

}  // namespace

std::string palettePngWithTransparency(int width, int height) {
  std::string png = pngHeader(static_cast<std::uint32_t>(width),
                              static_cast<std::uint32_t>(height), 8, 3);
  appendChunk(png, "PLTE",
              std::string("\x00\x00\x00\xFF\x6E\x6E\xFF\xAA\x5A\x80\x8C\x96", 12));
  appendChunk(png, "tRNS", std::string("\x00\xFF\x80", 3));
  std::string raw;
  for (int y = 0; y < height; ++y) {
    raw.push_back('\0');  // filter: none
    for (int x = 0; x < width; ++x) raw.push_back(static_cast<char>((x + y) % 4));
  }
  appendChunk(png, "IDAT", deflated(raw));
  appendChunk(png, "IEND", "");
  return png;
}

std::string pngDeclaringSize(unsigned width, unsigned height) {
  std::string png = pngHeader(width, height, 8, 2);
  appendChunk(png, "IDAT", deflated(std::string(16, '\0')));
  appendChunk(png, "IEND", "");
  return png;
}

std::string jpegDeclaringSize(unsigned width, unsigned height) {
  std::vector<std::uint8_t> bytes;
  cv::imencode(".jpg", scene(16, 16), bytes);
  // The baseline frame header: FF C0, length, precision, height, width.
  for (std::size_t i = 0; i + 8 < bytes.size(); ++i) {
    if (bytes[i] != 0xFF || bytes[i + 1] != 0xC0) continue;
    bytes[i + 5] = static_cast<std::uint8_t>(height >> 8);
    bytes[i + 6] = static_cast<std::uint8_t>(height);
    bytes[i + 7] = static_cast<std::uint8_t>(width >> 8);
    bytes[i + 8] = static_cast<std::uint8_t>(width);
    break;
  }
  return {bytes.begin(), bytes.end()};
}

std::string tiffWithOneTile(unsigned width, unsigned height, unsigned tile) {
  std::string tiff("II*\0", 4);
  auto append = [&tiff](std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) tiff.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
  };
  z_stream z{};
  deflateInit2(&z, 1, Z_DEFLATED, 15, 9, Z_RLE);
  const std::string zeros(std::size_t{1} << 20, '\0');
  std::string data;
  std::size_t left = std::size_t{tile} * tile * 3;
  std::string out(std::size_t{1} << 16, '\0');
  do {
    const std::size_t now = std::min(left, zeros.size());
    left -= now;
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(zeros.data()));
    z.avail_in = static_cast<uInt>(now);
    do {
      z.next_out = reinterpret_cast<Bytef*>(out.data());
      z.avail_out = static_cast<uInt>(out.size());
      deflate(&z, left == 0 ? Z_FINISH : Z_NO_FLUSH);
      data.append(out.data(), out.size() - z.avail_out);
    } while (z.avail_out == 0);
  } while (left > 0);
  deflateEnd(&z);

  constexpr std::uint32_t kEntries = 11;
  const std::uint32_t ifd = 8;
  const std::uint32_t bits = ifd + 2 + kEntries * 12 + 4;
  const std::uint32_t pixels = bits + 6;
  append(ifd, 4);
  append(kEntries, 2);
  auto entry = [&append](std::uint16_t tag, std::uint16_t type, std::uint32_t count,
                         std::uint32_t value) {
    append(tag, 2);
    append(type, 2);
    append(count, 4);
    append(value, 4);
  };
  constexpr std::uint16_t kShort = 3;
  constexpr std::uint16_t kLong = 4;
  entry(256, kLong, 1, width);
  entry(257, kLong, 1, height);
  entry(258, kShort, 3, bits);    // 8 bits per sample, at the offset
  entry(259, kShort, 1, 8);       // deflate
  entry(262, kShort, 1, 2);       // RGB
  entry(277, kShort, 1, 3);       // samples per pixel
  entry(284, kShort, 1, 1);       // interleaved
  entry(322, kLong, 1, tile);     // tile width
  entry(323, kLong, 1, tile);     // tile length
  entry(324, kLong, 1, pixels);   // the tile's offset
  entry(325, kLong, 1, static_cast<std::uint32_t>(data.size()));
  append(0, 4);  // no further directory
  for (int i = 0; i < 3; ++i) append(8, 2);
  return tiff + data;
}

std::string jpegWithEmptyScans(int width, int height, int scans) {
  const cv::Mat grey(height, width, CV_8UC1, cv::Scalar(128));
  std::vector<std::uint8_t> bytes;
  cv::imencode(".jpg", grey, bytes, {cv::IMWRITE_JPEG_PROGRESSIVE, 1});
  std::string jpeg(bytes.begin(), bytes.end() - 2);  // without EOI
  // Start of scan: component 1, tables 0/0, the first AC coefficient, no
  // successive approximation; then straight the next marker.
  const std::string emptyScan("\xFF\xDA\x00\x08\x01\x01\x00\x01\x01\x00", 10);
  for (int i = 0; i < scans; ++i) jpeg += emptyScan;
  return jpeg + "\xFF\xD9";
}

std::vector<std::pair<std::string, std::string>> pngsWithBadMetadata() {
  std::vector<std::uint8_t> encoded;
  cv::imencode(".png", scene(64, 48), encoded);
  const std::string png(encoded.begin(), encoded.end());
  // Chunks go right after IHDR: 8 bytes of signature, 25 of IHDR.
  constexpr std::size_t kAfterHeader = 33;
  auto withChunk = [&png](const char* type, const std::string& data, bool badCrc) {
    std::string chunk;
    appendChunk(chunk, type, data);
    if (badCrc) chunk.back() = static_cast<char>(chunk.back() ^ 0x55);
    return png.substr(0, kAfterHeader) + chunk + png.substr(kAfterHeader);
  };
  const std::string junkProfile = std::string("junk\0\0", 6) + deflated(std::string(200, 'x'));
  const std::string hugeText =
      std::string("Comment\0\0", 9) + deflated(std::string(100u << 20, 'a'));
  return {{"profil.png", withChunk("iCCP", junkProfile, false)},
          {"ztxt.png", withChunk("zTXt", hugeText, false)},
          {"text.png", withChunk("tEXt", std::string("Title\0tesmic", 12), true)}};
}

std::vector<AwkwardImage> writeAwkwardImages(const fs::path& dir) {
  std::vector<AwkwardImage> corpus;
  auto add = [&](std::string what, const std::string& name, Outcome outcome) {
    corpus.push_back({std::move(what), dir / name, outcome, (dir / name).string()});
    return dir / name;
  };

  writeBytes(add("zero-byte file", "prazdny.jpg", Outcome::kUnreadable), "");
  std::mt19937 rng(42);
  std::string noise(4096, '\0');
  for (char& c : noise) c = static_cast<char>(rng());
  writeBytes(add("random bytes as .jpg", "sum.jpg", Outcome::kUnreadable), noise);
  writeBytes(add("random bytes as .png", "sum.png", Outcome::kUnreadable), noise);

  // Cut off half-way: libjpeg decodes what is there and fills the rest, so
  // the JPEG is shown; libpng stops at the missing data, so the PNG is not.
  const fs::path wholeJpeg = dir / "cely.jpg";
  const fs::path wholePng = dir / "cely.png";
  cv::Mat noisy = scene(320, 240);
  cv::Mat grain(noisy.size(), CV_8UC3);
  cv::randu(grain, 0, 40);
  noisy += grain;  // keeps the files large enough to cut in the middle
  cv::imwrite(wholeJpeg.string(), noisy);
  cv::imwrite(wholePng.string(), noisy);
  const std::string jpeg = readBytes(wholeJpeg);
  const std::string png = readBytes(wholePng);
  writeBytes(add("JPEG cut in half", "pulka.jpg", Outcome::kShown),
             jpeg.substr(0, jpeg.size() / 2));
  writeBytes(add("PNG cut in half", "pulka.png", Outcome::kUnreadable),
             png.substr(0, png.size() / 2));
  fs::remove(wholeJpeg);
  fs::remove(wholePng);

  writeBytes(add("PNG declaring 100000 x 100000 pixels", "bomba.png",
                 Outcome::kUnreadable),
             pngDeclaringSize(100000, 100000));
  // A minimal 1x1 GIF: a format this OpenCV does not read.
  writeBytes(add("GIF", "obrazek.gif", Outcome::kUnreadable),
             std::string("GIF89a\x01\x00\x01\x00\x80\x00\x00\xff\xff\xff\x00\x00"
                         "\x00\x21\xf9\x04\x01\x00\x00\x00\x00\x2c\x00\x00\x00"
                         "\x00\x01\x00\x01\x00\x00\x02\x02\x44\x01\x00\x3b",
                         43));

  cv::imwrite(add("16-bit PNG", "hluboky.png", Outcome::kShown).string(),
              scene(240, 160, CV_16UC3));
  cv::Mat grey;
  cv::extractChannel(scene(240, 160), grey, 2);
  cv::imwrite(add("greyscale JPEG", "sedy.jpg", Outcome::kShown).string(), grey);
  writeBytes(add("palette PNG with transparency", "paleta.png", Outcome::kShown),
             palettePngWithTransparency(240, 160));
  cv::imwrite(add("four-channel PNG", "ctyri.png", Outcome::kShown).string(),
              scene(240, 160, CV_8UC4));
  cv::imwrite(add("1x1 image", "bod.png", Outcome::kShown).string(), scene(1, 1));
  cv::imwrite(add("1x500 image", "sloupec.png", Outcome::kShown).string(),
              scene(1, 500));
  cv::imwrite(add("500x1 image", "radek.png", Outcome::kShown).string(),
              scene(500, 1));
  cv::imwrite(add("name with spaces and non-ASCII letters",
                  "\xC4\x8D" "erven\xC3\xA9 obr\xC3\xA1zky s mezerami.png",
                  Outcome::kShown)
                  .string(),
              scene(240, 160));
  // A greyscale float image: the decoder returns one float channel whatever
  // it is asked for.
  writeBytes(add("greyscale float PFM", "plovouci.pfm", Outcome::kShown),
             "Pf\n4 4\n-1.0\n" + std::string(64, '\0'));

  fs::create_directory(add("folder", "slozka.png", Outcome::kUnreadable));
  mkfifo(add("FIFO", "fronta.png", Outcome::kUnreadable).c_str(), 0600);
  fs::create_symlink(dir / "fronta.png",
                     add("link to a FIFO", "odkaz.png", Outcome::kUnreadable));
  fs::create_symlink("/dev/null", add("character device", "zarizeni.png", Outcome::kUnreadable));
  const int sock = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string socketPath = add("socket", "zasuvka.png", Outcome::kUnreadable).string();
  socketPath.copy(address.sun_path, sizeof address.sun_path - 1);
  bind(sock, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  close(sock);  // the socket file stays

  // Missing, with a name that would clear the terminal if printed raw.
  add("name with an escape sequence", "\x1b[2Jx.jpg", Outcome::kUnreadable);
  corpus.back().printedAs = (dir / "\\x1b[2Jx.jpg").string();
  return corpus;
}

}  // namespace tesmic::test
