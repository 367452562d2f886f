// The display's program managers. Materials register the texts of their programs once per
// process under a name (RegisterBuiltInPrograms; registering a name again keeps the first text)
// and ask the display's managers for handles: a vertex program by (text name, entry name,
// flags), a texture combiner (pixel program) by name. A manager checks a text the first time
// it is asked for it and keeps one handle per request, so asking again returns the same program
// with one more reference. The texts are in the null kernel's language
// (program_language.h), so a handle can run its program for one vertex or one pixel.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <tuple>

#include "platform/kiv/display/materials.h"
#include "platform/kiv/display/program_language.h"

namespace Kiv {

class VertexProgram : public ReferenceCount {
public:
    VertexProgram(std::shared_ptr<const ProgramCode> code, const ProgramCode::Entry* entry,
                  uint32_t flags);
    const std::string& GetEntryName() const { return entry_->name; }
    uint32_t GetFlags() const { return flags_; }
    // The number the display records as its current vertex program (never 0).
    uint32_t GetId() const { return id_; }
    VertexProgramOutputs Evaluate(const VertexProgramInputs& in) const {
        return code_->RunVertex(*entry_, in);
    }

private:
    std::shared_ptr<const ProgramCode> code_;
    const ProgramCode::Entry* entry_;
    uint32_t flags_;
    uint32_t id_;
};

class TextureCombiner : public ReferenceCount {
public:
    TextureCombiner(std::string name, std::shared_ptr<const ProgramCode> code);
    const std::string& GetName() const { return name_; }
    // The number the display records as its current combiner program (never 0).
    uint32_t GetId() const { return id_; }
    const ProgramCode& GetCode() const { return *code_; }
    // The program run with its constants at their defaults but for the named ones given.
    Vec4 Evaluate(const PixelProgramInputs& in,
                  const std::map<std::string, Vec4, std::less<>>& constants = {}) const;

private:
    std::string name_;
    std::shared_ptr<const ProgramCode> code_;
    uint32_t id_;
};

// Shared by both managers: the process-wide texts and each display's handles.
class ProgramManagerBase {
public:
    ProgramManagerBase() = default;
    ProgramManagerBase(const ProgramManagerBase&) = delete;
    ProgramManagerBase& operator=(const ProgramManagerBase&) = delete;
    // Requests answered, including failed ones (a material asks once per program).
    uint32_t GetRequestCount() const;
    // Test hook: after `after` more requests to any manager, the next `count` fail.
    static void FailNextRequestsForTesting(int count, int after = 0);

protected:
    // The checked text of that name and kind, or null with *error.
    std::shared_ptr<const ProgramCode> Code(std::string_view name, ProgramCode::Kind kind,
                                            std::string* error);
    static void Register(std::string_view name, std::string_view text, ProgramCode::Kind kind);
    // True, with *error set, when a test asked this request to fail.
    static bool InjectedFailure(std::string_view name, std::string* error);

    mutable std::mutex lock_;
    uint32_t requests_ = 0;
};

class VertexProgramManager : public ProgramManagerBase {
public:
    ~VertexProgramManager();
    static void RegisterBuiltInPrograms(std::string_view name, std::string_view text) {
        Register(name, text, ProgramCode::Kind::Vertex);
    }
    // A new reference, or null with *error set.
    VertexProgram* GetProgram(std::string_view name, std::string_view entry, uint32_t flags,
                              std::string* error);

private:
    std::map<std::tuple<std::string, std::string, uint32_t>, VertexProgram*> handles_;
};

class TextureCombinerManager : public ProgramManagerBase {
public:
    ~TextureCombinerManager();
    static void RegisterBuiltInPrograms(std::string_view name, std::string_view text) {
        Register(name, text, ProgramCode::Kind::Pixel);
    }
    // A new reference, or null with *error set.
    TextureCombiner* GetProgram(std::string_view name, std::string* error);

private:
    std::map<std::string, TextureCombiner*, std::less<>> handles_;
};

}  // namespace Kiv
