#pragma once

// SORRELIN_SSE2 is defined where the formats' 16-byte kernels can use SSE2: every
// x86-64 processor has it.
#if defined(__SSE2__) || defined(_M_X64)
#define SORRELIN_SSE2 1
#endif
