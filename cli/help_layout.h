#pragma once

#include <memory>

namespace CLI {
class Formatter;
}

namespace sorrelin {

// The help's layout: the usage line first, then what the program does, each option as
// "-f, --format FORMAT" with its description beside it, and the footer; every text
// broken between words to fit 80 columns.
std::shared_ptr<CLI::Formatter> HelpLayout();

}  // namespace sorrelin
