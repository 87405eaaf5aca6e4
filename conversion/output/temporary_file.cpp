#include "output/temporary_file.h"

#include <cerrno>
#include <cstdio>
#include <random>

namespace sorrelin {

std::filesystem::path TemporaryName(const std::filesystem::path& folder) {
  std::random_device device;
  char text[9];
  std::snprintf(text, sizeof text, "%08x", static_cast<unsigned>(device()));
  return folder / (".sorrelin-" + std::string(text) + ".tmp");
}

TemporaryFile CreateTemporaryFile(const std::filesystem::path& folder) {
  if (UniqueFile unnamed = CreateUnnamedFile(folder)) return {std::move(unnamed), {}};
  return CreateNamedTemporaryFile(folder);
}

TemporaryFile CreateNamedTemporaryFile(const std::filesystem::path& folder) {
  TemporaryFile temporary;
  for (int attempt = 0; attempt < 100; ++attempt) {
    temporary.path = TemporaryName(folder);
    temporary.file = CreateNewFile(temporary.path);
    if (temporary.file || errno != EEXIST) break;  // made, or failed but for a taken name
  }
  if (!temporary.file) temporary.path.clear();
  return temporary;
}

}  // namespace sorrelin
