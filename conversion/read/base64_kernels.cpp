#include "read/base64_kernels.h"

#include <atomic>

namespace sorrelin {
namespace {

Base64GroupDecoder Best() {
  for (const Base64Kernel kernel : {Base64Kernel::kAvx2, Base64Kernel::kSsse3}) {
    if (const Base64GroupDecoder decoder = VectorBase64Decoder(kernel)) return decoder;
  }
  return nullptr;
}

// Chosen once, at the first use; null is the scalar kernel.
std::atomic<Base64GroupDecoder>& Current() {
  static std::atomic<Base64GroupDecoder> current(Best());
  return current;
}

}  // namespace

std::vector<Base64Kernel> AvailableBase64Kernels() {
  std::vector<Base64Kernel> kernels{Base64Kernel::kScalar};
  for (const Base64Kernel kernel : {Base64Kernel::kSsse3, Base64Kernel::kAvx2}) {
    if (VectorBase64Decoder(kernel) != nullptr) kernels.push_back(kernel);
  }
  return kernels;
}

bool UseBase64Kernel(Base64Kernel kernel) {
  const Base64GroupDecoder decoder = VectorBase64Decoder(kernel);
  if (decoder == nullptr && kernel != Base64Kernel::kScalar) return false;
  Current().store(decoder, std::memory_order_relaxed);
  return true;
}

Base64Kernel CurrentBase64Kernel() {
  const Base64GroupDecoder decoder = CurrentBase64GroupDecoder();
  for (const Base64Kernel kernel : AvailableBase64Kernels()) {
    if (kernel != Base64Kernel::kScalar && VectorBase64Decoder(kernel) == decoder) return kernel;
  }
  return Base64Kernel::kScalar;
}

Base64GroupDecoder CurrentBase64GroupDecoder() { return Current().load(std::memory_order_relaxed); }

std::string_view Base64KernelName(Base64Kernel kernel) {
  switch (kernel) {
    case Base64Kernel::kScalar:
      return "scalar";
    case Base64Kernel::kSsse3:
      return "ssse3";
    case Base64Kernel::kAvx2:
      return "avx2";
  }
  return "unknown";
}

}  // namespace sorrelin
