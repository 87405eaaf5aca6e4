#include "platform/document_input.h"

namespace sorrelin {

UniqueFile OpenForReading(const std::filesystem::path& path) { return OpenFile(path, "rb"); }

bool WaitForInput(std::FILE*, std::chrono::milliseconds) { return true; }

}  // namespace sorrelin
