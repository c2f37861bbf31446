#include "memory_budget.h"

#include <sys/resource.h>

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>

#include <opencv2/core.hpp>

namespace tesmic {
namespace {

std::string readFile(const std::filesystem::path& path) {
  std::ifstream in(path);
  return {std::istreambuf_iterator<char>(in), {}};
}

std::optional<std::uint64_t> parseNumber(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  std::uint64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end == text.data()) return std::nullopt;
  return value;
}

// memory.max minus memory.current for the process's cgroup and each of its
// parents; the least of them, or nothing outside cgroup v2.
std::optional<std::uint64_t> readCgroupHeadroom() {
  const std::string self = readFile("/proc/self/cgroup");
  const std::size_t at = self.find("0::");
  if (at == std::string::npos) return std::nullopt;
  const std::size_t end = self.find('\n', at);
  std::filesystem::path group = self.substr(at + 3, end - at - 3);
  const std::filesystem::path root = "/sys/fs/cgroup";
  std::optional<std::uint64_t> least;
  for (;;) {
    const std::filesystem::path dir = root / group.relative_path();
    const auto limit = parseNumber(readFile(dir / "memory.max"));  // "max": none
    const auto usage = parseNumber(readFile(dir / "memory.current"));
    if (limit && usage) {
      const std::uint64_t room = *limit > *usage ? *limit - *usage : 0;
      least = least ? std::min(*least, room) : room;
    }
    if (group == group.root_path() || group.empty()) break;
    group = group.parent_path();
  }
  return least;
}

}  // namespace

std::optional<std::uint64_t> kilobyteField(std::string_view text,
                                           std::string_view name) {
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t end = std::min(text.find('\n', at), text.size());
    const std::string_view line = text.substr(at, end - at);
    if (line.size() > name.size() && line.substr(0, name.size()) == name &&
        line[name.size()] == ':') {
      const auto kilobytes = parseNumber(line.substr(name.size() + 1));
      if (!kilobytes || *kilobytes > std::numeric_limits<std::uint64_t>::max() / 1024) {
        return std::nullopt;
      }
      return *kilobytes * 1024;
    }
    at = end + 1;
  }
  return std::nullopt;
}

MemoryReadings readMemoryReadings() {
  MemoryReadings r;
  r.available = kilobyteField(readFile("/proc/meminfo"), "MemAvailable");
  r.addressSpaceUsed = kilobyteField(readFile("/proc/self/status"), "VmSize");
  r.cgroupHeadroom = readCgroupHeadroom();
  rlimit limit{};
  if (getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
    r.addressSpaceLimit = limit.rlim_cur;
  }
  return r;
}

std::uint64_t memoryHeadroom(const MemoryReadings& r) {
  std::uint64_t room = std::numeric_limits<std::uint64_t>::max();
  if (r.available) room = std::min(room, *r.available);
  if (r.cgroupHeadroom) room = std::min(room, *r.cgroupHeadroom);
  if (r.addressSpaceLimit) {
    const std::uint64_t used = r.addressSpaceUsed.value_or(0);
    room = std::min(room, *r.addressSpaceLimit > used ? *r.addressSpaceLimit - used : 0);
  }
  return room;
}

std::uint64_t largestImageBytes(std::uint64_t headroom) {
  return headroom / kRunBytesPerPixel * 3;
}

// Hands every request on to OpenCV's own allocator, the ones over the
// limit excepted. What it allocates is released by that allocator, so the
// limit may go before the images do.
class MatAllocationLimit::Allocator : public cv::MatAllocator {
 public:
  Allocator(cv::MatAllocator* next, std::uint64_t maxBytes)
      : next_(next), maxBytes_(maxBytes) {}

  cv::MatAllocator* next() const { return next_; }

  cv::UMatData* allocate(int dims, const int* sizes, int type, void* data,
                         size_t* step, cv::AccessFlag flags,
                         cv::UMatUsageFlags usage) const override {
    if (data == nullptr) {
      // In floating point: a product of sizes must not wrap around.
      double bytes = static_cast<double>(CV_ELEM_SIZE(type));
      for (int i = 0; i < dims; ++i) bytes *= sizes[i];
      if (bytes > static_cast<double>(maxBytes_)) {
        CV_Error(cv::Error::StsNoMem, "the image does not fit in the memory available");
      }
    }
    return next_->allocate(dims, sizes, type, data, step, flags, usage);
  }
  bool allocate(cv::UMatData* data, cv::AccessFlag flags,
                cv::UMatUsageFlags usage) const override {
    return next_->allocate(data, flags, usage);
  }
  void deallocate(cv::UMatData* data) const override { next_->deallocate(data); }

 private:
  cv::MatAllocator* next_;
  std::uint64_t maxBytes_;
};

MatAllocationLimit::MatAllocationLimit(std::uint64_t maxBytes)
    : allocator_(new Allocator(cv::Mat::getDefaultAllocator(), maxBytes)) {
  cv::Mat::setDefaultAllocator(allocator_);
}

MatAllocationLimit::~MatAllocationLimit() {
  cv::Mat::setDefaultAllocator(allocator_->next());
  delete allocator_;
}

}  // namespace tesmic
