#include "read/base64_kernels.h"

namespace sorrelin {

std::vector<Base64Kernel> AvailableBase64Kernels() {
  std::vector<Base64Kernel> kernels{Base64Kernel::kScalar};
  for (const Base64Kernel kernel : {Base64Kernel::kSsse3, Base64Kernel::kAvx2}) {
    if (VectorBase64Decoder(kernel) != nullptr) kernels.push_back(kernel);
  }
  return kernels;
}

Base64Kernel BestBase64Kernel() {
  static const Base64Kernel best = AvailableBase64Kernels().back();
  return best;
}

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
