#pragma once

#include <string>
#include <string_view>

namespace sorrelin {

// Where the output of `inputPath` goes beside it: a name ending in ".XMLdig" (any
// letter case) gets `extension` in its place; any other name keeps its whole text
// and gets `extension` appended, so the input is never overwritten. An empty path
// raises ConversionError (kInvalidOutputPath).
std::string OutputPathFor(std::string_view inputPath, std::string_view extension = ".txt");

}  // namespace sorrelin
