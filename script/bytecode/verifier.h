// The code verifier: what the script machine may rely on in every function of an image that
// passes. Opcodes are known, operands lie inside the code, jump and table targets are
// instruction starts, every path reaches each instruction with one stack depth that never goes
// below 0, is 0 after each return and never passes the function's recorded maximum (which it
// reaches), and string, class, function and frame-slot operands lie inside the image's tables
// and the function's frame.
//
// A call leaves the callee's result word when the callee returns a value. The verifier takes
// that from the image where the image shows the callee: the inherited call names its function;
// a virtual call's slot is looked up in the method tables of the library's classes and the
// function rows of included libraries, and used when they all agree. Where they do not (the
// callee depends on the object's class at run time) the depth after the call is left unknown
// until a merge with a known path; the machine checks such calls when it runs them.
#pragma once

#include <string>

#include "script/bytecode/gsl_image.h"

namespace GSBytecode {

struct VerifyError {
    std::string function;  // the signature, or the initialiser's name
    uint32_t offset = 0;   // code offset
    std::string text;
};

bool VerifyImage(const GslImage& image, VerifyError& error);

// Whether a signature ("$type@Class::name(...)") returns a value: anything but "void".
bool SignatureReturnsValue(std::string_view signature);

}  // namespace GSBytecode
