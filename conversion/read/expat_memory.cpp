#include "read/expat_memory.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <new>

namespace sorrelin {
namespace {

// expat allocates through the C++ allocator, as the rest of the program does. A
// block keeps its size before it, for Reallocate.
void* Allocate(std::size_t size) {
  auto* block =
      static_cast<std::max_align_t*>(::operator new(sizeof(std::max_align_t) + size, std::nothrow));
  if (!block) return nullptr;
  *reinterpret_cast<std::size_t*>(block) = size;
  return block + 1;
}

void Release(void* memory) {
  if (memory) ::operator delete(static_cast<std::max_align_t*>(memory) - 1);
}

void* Reallocate(void* memory, std::size_t size) {
  void* fresh = Allocate(size);
  if (fresh && memory) {
    const std::size_t old =
        *reinterpret_cast<std::size_t*>(static_cast<std::max_align_t*>(memory) - 1);
    std::memcpy(fresh, memory, std::min(old, size));
  }
  if (fresh) Release(memory);
  return fresh;
}

}  // namespace

const XML_Memory_Handling_Suite kExpatMemory{&Allocate, &Reallocate, &Release};

}  // namespace sorrelin
