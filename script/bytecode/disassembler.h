// Text forms of byte code and images, for gsldump, the golden tests and the developer's eye.
#pragma once

#include <span>
#include <string>

#include "script/bytecode/gsl_image.h"

namespace GSBytecode {

// One line per instruction: "offset  mnemonic operands". With an image, string and class
// operands also show their text and function indices their signature. Bytes that do not decode
// end the listing with a line saying so.
std::string Disassemble(std::span<const uint8_t> code, const GslImage* image = nullptr);

// The whole image: header, tables, and each class with its members, method table and each
// function's frame, code and line table.
std::string DumpImage(const GslImage& image);

}  // namespace GSBytecode
