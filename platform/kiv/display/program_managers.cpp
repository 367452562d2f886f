#include "platform/kiv/display/program_managers.h"

#include <atomic>

namespace Kiv {

namespace {

struct Texts {
    std::mutex lock;
    // The text of each name and kind, and its checked form once a manager asked for it (the
    // error when the check failed).
    struct Text {
        std::string source;
        std::shared_ptr<const ProgramCode> code;
        std::string error;
    };
    std::map<std::pair<std::string, ProgramCode::Kind>, Text> texts;
    int failRequests = 0;
    int failAfter = 0;
};

Texts& Registry() {
    static Texts t;
    return t;
}

std::atomic<uint32_t> nextId{1};

}  // namespace

VertexProgram::VertexProgram(std::shared_ptr<const ProgramCode> code,
                             const ProgramCode::Entry* entry, uint32_t flags)
    : code_(std::move(code)), entry_(entry), flags_(flags), id_(nextId++) {}

TextureCombiner::TextureCombiner(std::string name, std::shared_ptr<const ProgramCode> code)
    : name_(std::move(name)), code_(std::move(code)), id_(nextId++) {}

Vec4 TextureCombiner::Evaluate(const PixelProgramInputs& in,
                               const std::map<std::string, Vec4, std::less<>>& constants) const {
    std::array<Vec4, 8> c = code_->DefaultConstants();
    for (const auto& [name, value] : constants) {
        int index = code_->FindConstant(name);
        if (index >= 0) c[index] = value;
    }
    return code_->RunPixel(in, c);
}

uint32_t ProgramManagerBase::GetRequestCount() const {
    std::lock_guard<std::mutex> hold(lock_);
    return requests_;
}

void ProgramManagerBase::FailNextRequestsForTesting(int count, int after) {
    std::lock_guard<std::mutex> hold(Registry().lock);
    Registry().failRequests = count;
    Registry().failAfter = after;
}

void ProgramManagerBase::Register(std::string_view name, std::string_view text,
                                  ProgramCode::Kind kind) {
    std::lock_guard<std::mutex> hold(Registry().lock);
    Registry().texts.try_emplace({std::string(name), kind}, Texts::Text{std::string(text), {}, {}});
}

bool ProgramManagerBase::InjectedFailure(std::string_view name, std::string* error) {
    Texts& r = Registry();
    std::lock_guard<std::mutex> hold(r.lock);
    if (r.failRequests <= 0) return false;
    if (r.failAfter > 0) {
        --r.failAfter;
        return false;
    }
    --r.failRequests;
    *error = "The program '" + std::string(name) + "' could not be made.";
    return true;
}

std::shared_ptr<const ProgramCode> ProgramManagerBase::Code(std::string_view name,
                                                            ProgramCode::Kind kind,
                                                            std::string* error) {
    Texts& r = Registry();
    std::lock_guard<std::mutex> hold(r.lock);
    auto it = r.texts.find({std::string(name), kind});
    if (it == r.texts.end()) {
        *error = "No program '" + std::string(name) + "' is registered.";
        return nullptr;
    }
    Texts::Text& t = it->second;
    if (t.code == nullptr && t.error.empty()) {
        std::string why;
        t.code = ProgramCode::Compile(t.source, &why);
        if (t.code == nullptr) t.error = "The program '" + std::string(name) + "': " + why;
        if (t.code != nullptr && t.code->GetKind() != kind) {
            t.code = nullptr;
            t.error = "The program '" + std::string(name) + "' is of the other kind.";
        }
    }
    if (t.code == nullptr) *error = t.error;
    return t.code;
}

VertexProgramManager::~VertexProgramManager() {
    for (auto& [key, program] : handles_)
        program->ReleaseReference();
}

VertexProgram* VertexProgramManager::GetProgram(std::string_view name, std::string_view entry,
                                                uint32_t flags, std::string* error) {
    std::lock_guard<std::mutex> hold(lock_);
    ++requests_;
    if (InjectedFailure(name, error)) return nullptr;
    auto key = std::make_tuple(std::string(name), std::string(entry), flags);
    if (auto it = handles_.find(key); it != handles_.end()) {
        it->second->AddReference();
        return it->second;
    }
    std::shared_ptr<const ProgramCode> code = Code(name, ProgramCode::Kind::Vertex, error);
    if (code == nullptr) return nullptr;
    const ProgramCode::Entry* e = code->FindEntry(entry);
    if (e == nullptr) {
        *error =
            "The program '" + std::string(name) + "' has no entry '" + std::string(entry) + "'.";
        return nullptr;
    }
    auto* program = new VertexProgram(std::move(code), e, flags);
    handles_.emplace(std::move(key), program);
    program->AddReference();
    return program;
}

TextureCombinerManager::~TextureCombinerManager() {
    for (auto& [key, program] : handles_)
        program->ReleaseReference();
}

TextureCombiner* TextureCombinerManager::GetProgram(std::string_view name, std::string* error) {
    std::lock_guard<std::mutex> hold(lock_);
    ++requests_;
    if (InjectedFailure(name, error)) return nullptr;
    if (auto it = handles_.find(name); it != handles_.end()) {
        it->second->AddReference();
        return it->second;
    }
    std::shared_ptr<const ProgramCode> code = Code(name, ProgramCode::Kind::Pixel, error);
    if (code == nullptr) return nullptr;
    auto* program = new TextureCombiner(std::string(name), std::move(code));
    handles_.emplace(std::string(name), program);
    program->AddReference();
    return program;
}

}  // namespace Kiv
