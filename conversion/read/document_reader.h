#pragma once

#include "data_sink.h"
#include "read/base64_kernels.h"
#include "read/block_source.h"

namespace sorrelin {

// Reads the whole document with expat, well-formedness checked to the end, and the
// element values picked as it goes. Nothing but the source is ever read: external
// entities are refused where they could change a value read. A fault's place is
// exact: when a parse fault or bad Base64 was met while the data was decoded beside
// the parser, the document is read once more the plain way to place it, progress held
// where it was. A failed read is final. The data, that of `segment` (counted from 1
// among the segments with a BinaryData), is decoded with `kernel`.
// Raises ConversionError when the reader cannot be created or memory runs out.
DocumentRead ReadDocument(BlockSource& source, ReaderClient& client, Base64Kernel kernel,
                          std::uint64_t segment = 1);

}  // namespace sorrelin
