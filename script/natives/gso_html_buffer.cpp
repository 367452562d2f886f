#include "script/natives/gso_html_buffer.h"

#include <cstring>
#include <new>

#include "script/natives/native_frame.h"

namespace ScriptNatives {

using GSRuntime::GSStack;

void HTMLBuffer::Append(std::string_view bytes) {
    if (bytes.empty()) return;
    if (used_ + bytes.size() > bytes_.size()) bytes_.resize(bytes.size() + 2 * bytes_.size());
    std::memcpy(bytes_.data() + used_, bytes.data(), bytes.size());
    used_ += bytes.size();
}

void HTMLBuffer::Escape(std::string_view text) {
    if (text.empty()) return;
    empty_ = false;
    for (size_t i = 0; i < text.size(); ++i) {
        switch (text[i]) {
            case '<':
                Append("&lt;");
                break;
            case '>':
                Append("&gt;");
                break;
            case '&':
                Append("&amp;");
                break;
            case '\r':
                Append("<br>");
                if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
                break;
            case '\n':
                Append("<br>");
                break;
            default:
                Append(text.substr(i, 1));
        }
    }
}

std::string_view HTMLBuffer::AsString() const {
    if (used_ == 0) return {};
    const void* zero = std::memchr(bytes_.data(), 0, used_);
    const size_t length = zero != nullptr
                              ? static_cast<size_t>(static_cast<const char*>(zero) - bytes_.data())
                              : used_;
    return std::string_view(bytes_.data(), length);
}

GSOHTMLBuffer::GSOHTMLBuffer(GSRuntime::GSContext* context) {
    if (GSRuntime::GSClass* cls = GetClassSlot(kHTMLBuffer)) Instantiate(cls, context);
}

void GSOHTMLBuffer::NativeClear(GSStack&) {
    Clear();
}

void GSOHTMLBuffer::NativeIsEmpty(GSStack& frame) {
    frame.Push(IsEmptyFlag() ? 1u : 0u);
}

void GSOHTMLBuffer::NativeAsString(GSStack& frame) {
    frame.PushString(AsString());
}

void GSOHTMLBuffer::NativePrint(GSStack& frame) {
    std::string text;
    GetNativeStringParam(frame, 1, text, true);
    Append(text);
}

void GSOHTMLBuffer::NativeEscape(GSStack& frame) {
    std::string text;
    GetNativeStringParam(frame, 1, text, true);
    Escape(text);
}

void GSOHTMLBuffer::Construct(GSRuntime::GSContext* context, GSStack& frame) {
    PushNewObject(frame, new (std::nothrow) GSOHTMLBuffer(context), kHTMLBuffer);
}

}  // namespace ScriptNatives
