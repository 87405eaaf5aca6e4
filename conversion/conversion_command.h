#pragma once

#include <string>

namespace sorrelin {

// What a conversion needs from its caller: the path text to convert, and a way to
// tell the user that the document could not be loaded.
class ConversionHost {
 public:
  virtual ~ConversionHost() = default;
  virtual std::string PathText() const = 0;
  virtual void ShowMessage(const std::string& text) = 0;
};

// Converts the document that the host's path text names into its text table.
// A document that cannot be loaded is shown as "Error: " and the reason; every
// other failure raises ConversionError. Success says nothing.
void RunConversion(ConversionHost& host);

}  // namespace sorrelin
