#pragma once

#include <expat.h>

namespace sorrelin {

// expat's memory, taken from the C++ allocator as the rest of the program's is.
extern const XML_Memory_Handling_Suite kExpatMemory;

}  // namespace sorrelin
