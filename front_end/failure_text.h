#pragma once

#include <string>

#include "outcome.h"

namespace sorrelin {

// How a failed conversion is told to people: "Error: " and the reason for a document
// that cannot be loaded, "Error NUMBER: " and the description for any other failure.
// `errorWord` is the word before the number ("Error" in the window, "error" on the
// command line). Empty for a conversion that did not fail.
std::string FailureText(const ConversionResult& result, const std::string& errorWord = "Error");

}  // namespace sorrelin
