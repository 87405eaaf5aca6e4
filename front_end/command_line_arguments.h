#pragma once

#include <string>
#include <vector>

namespace sorrelin {

// The program's arguments after its name, as UTF-8. On Windows they are read from
// the wide command line: argv holds them in the ANSI code page.
std::vector<std::string> CommandLineArguments(int argc, char** argv);

}  // namespace sorrelin
