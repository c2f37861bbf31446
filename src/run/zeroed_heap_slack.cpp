// The program's operator new and delete: malloc and free, with the bytes
// that malloc hands out beyond the request set to zero.
//
// Why: OpenCV's Qt windows, when the first slider goes into the control
// panel, walk every parentless window of the application and take each for
// one of their own by reading a type field just past the end of a plain Qt
// widget; the new slider's label and bar are such widgets until the panel
// takes them. What that read finds is whatever the heap left in the block's
// slack, and when it happens to read as "a window" the process crashes (one
// run in about sixty under load). Zeroed slack never reads as one.
#include <malloc.h>

#include <cstdlib>
#include <cstring>
#include <new>

namespace {

void* allocateZeroingSlack(std::size_t bytes) noexcept {
  void* block = std::malloc(bytes == 0 ? 1 : bytes);
  if (block == nullptr) return nullptr;
  const std::size_t usable = malloc_usable_size(block);
  if (usable > bytes) std::memset(static_cast<char*>(block) + bytes, 0, usable - bytes);
  return block;
}

void* allocateOrThrow(std::size_t bytes) {
  for (;;) {
    if (void* block = allocateZeroingSlack(bytes)) return block;
    const std::new_handler handler = std::get_new_handler();
    if (handler == nullptr) throw std::bad_alloc();
    handler();
  }
}

}  // namespace

void* operator new(std::size_t bytes) { return allocateOrThrow(bytes); }
void* operator new[](std::size_t bytes) { return allocateOrThrow(bytes); }
void* operator new(std::size_t bytes, const std::nothrow_t&) noexcept {
  return allocateZeroingSlack(bytes);
}
void* operator new[](std::size_t bytes, const std::nothrow_t&) noexcept {
  return allocateZeroingSlack(bytes);
}
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { std::free(block); }
