// The check a loaded soup body passes before any view is made over it: every run of chunks,
// at every nesting level, is well formed. Nesting is walked with an explicit stack, so a body
// of any depth is checked without deep recursion; runs nested deeper than kMaxTagTreeDepth
// fail.
#pragma once

#include <cstdint>

// True when the bytes [start, start + size) of the body form a well-formed run of chunks. One
// to five stray bytes after the last chunk of a run are ignored.
bool ValidateSoupRun(const uint8_t* body, uint32_t start, uint32_t size);
