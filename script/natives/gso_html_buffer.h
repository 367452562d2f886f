// HTMLBuffer, the text of HTML built piece by piece, and GSOHTMLBuffer, the native object of the
// script class "HTMLBuffer" around one. Raw text is appended as it is; user text is escaped
// ("<", ">", "&") with its line ends as "<br>". The buffer keeps no terminating zero: its text is
// exactly its used bytes, and reading it never looks past them.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

#include "script/vm/gs_object.h"
#include "script/vm/gs_stack.h"

namespace ScriptNatives {

class HTMLBuffer {
public:
    // Grows the allocation to count + twice its old size when the bytes do not fit.
    void Append(std::string_view bytes);
    void Escape(std::string_view text);
    // Drops the text, keeping the allocation (whose old bytes stay behind the used count).
    void Clear() {
        used_ = 0;
        empty_ = true;
    }
    // The used bytes up to the first zero among them.
    std::string_view AsString() const;
    // True at first and after Clear; false once a non-empty text was escaped in.
    bool IsEmptyFlag() const { return empty_; }

private:
    std::vector<char> bytes_;  // the allocation; the text is its first used_ bytes
    size_t used_ = 0;
    bool empty_ = true;
};

class GSOHTMLBuffer : public HTMLBuffer, public GSRuntime::GSObject {
public:
    // Instantiated at once with the HTMLBuffer class slot in `context` (none without either).
    explicit GSOHTMLBuffer(GSRuntime::GSContext* context);

    // The natives, in their table order.
    void NativeClear(GSRuntime::GSStack& frame);
    void NativeIsEmpty(GSRuntime::GSStack& frame);
    void NativeAsString(GSRuntime::GSStack& frame);
    void NativePrint(GSRuntime::GSStack& frame);
    void NativeEscape(GSRuntime::GSStack& frame);
    // "$HTMLBuffer@HTMLBufferStatic::Construct()": a new buffer in the caller's context.
    static void Construct(GSRuntime::GSContext* context, GSRuntime::GSStack& frame);
};

}  // namespace ScriptNatives
