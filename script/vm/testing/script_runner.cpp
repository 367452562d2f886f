#include "script/vm/testing/script_runner.h"

#include <unistd.h>

#include <atomic>
#include <bit>
#include <cctype>
#include <fstream>
#include <memory>
#include <sstream>

#include "script/compiler/compiler_driver.h"
#include "script/vm/gs_context.h"
#include "script/vm/gs_string_array.h"
#include "script/vm/vm_test_support.h"

namespace GSRuntime::testing {

namespace {

std::string Lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::filesystem::path NewFolder() {
    static std::atomic<int> next{0};
    std::filesystem::path p =
        std::filesystem::temp_directory_path() /
        ("gsvm_runner_" + std::to_string(getpid()) + "_" + std::to_string(next.fetch_add(1)));
    std::filesystem::remove_all(p);
    std::filesystem::create_directories(p);
    return p;
}

GSFunction* FindMethod(GSClass* cls, const Kiv::PString& signature) {
    if (GSFunction* f = cls->FindFunction(signature)) return f;
    for (const GSMethodEntry& e : cls->methods)
        if (e.function != nullptr && e.function->name == signature) return e.function;
    return nullptr;
}

// The run without a log capture of its own.
void RunOn(GSContext* context, uint32_t instance, GSFunction* f, const std::vector<uint32_t>& args,
           ScriptRun& run) {
    run.result = RunOnStaticThread(&context->StaticThread(), f, instance, args.data(),
                                   static_cast<uint32_t>(args.size()), &run.word);
    if (run.result != ER_Done || !f->returnsReference) return;
    run.isNull = run.word == 0;
    if (run.word != 0 && GetOwner(run.word) != nullptr &&
        GetOwner(run.word)->Kind() == kKindString) {
        run.text = GSString::From(run.word)->text;
        ReleaseReference(run.word);
        run.word = 0;
    }
}

}  // namespace

float ScriptRun::AsFloat() const {
    return std::bit_cast<float>(word);
}

bool ScriptRun::Logged(const std::string& text) const {
    for (const std::string& l : log)
        if (l.find(text) != std::string::npos) return true;
    return false;
}

ScriptRun RunOnNewInstance(GSContext* context, GSClass* cls, GSFunction* f,
                           const std::vector<uint32_t>& args, GSObject* object) {
    ScriptRun run;
    LogCapture capture;
    if (object == nullptr) object = new GSObject();
    if (!object->Instantiate(cls, context)) {
        delete object;
        run.result = ER_ClassCreateError;
    } else {
        RunOn(context, object->instance, f, args, run);
        ReleaseReference(object->instance);
    }
    run.log = LogCapture::lines();
    return run;
}

ScriptRun RunOnInstance(GSContext* context, uint32_t instance, GSFunction* f,
                        const std::vector<uint32_t>& args) {
    ScriptRun run;
    LogCapture capture;
    RunOn(context, instance, f, args, run);
    run.log = LogCapture::lines();
    return run;
}

std::filesystem::path LibrarySourceFolder() {
    return HALVEX_SCRIPT_SOURCES;
}

std::string ReadLibrarySource(const std::string& name) {
    std::ifstream in(LibrarySourceFolder() / name, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool WriteFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

ScriptRunner::ScriptRunner() : folder(NewFolder()) {}

ScriptRunner::~ScriptRunner() {
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}

std::vector<uint8_t> ScriptRunner::CompileImage(const std::map<std::string, std::string>& sources,
                                                const std::string& main, std::string* messages) {
    using namespace GSCompiler;
    MemorySources().clear();
    for (const auto& [name, text] : sources)
        MemorySources()[Lower(name)] = text;
    IncludeFolders().clear();
    MessageLog log;
    std::vector<uint8_t> image;
    int errors = CompileForCache(main.c_str(), nullptr, &log, &image);
    MemorySources().clear();
    if (messages != nullptr)
        for (const std::string& l : log.Lines())
            *messages += l + "\n";
    if (errors != 0) image.clear();
    return image;
}

bool ScriptRunner::Load(const std::map<std::string, std::string>& sources,
                        const std::string& main) {
    for (const auto& source : sources) {
        std::vector<uint8_t> image = CompileImage(sources, source.first, &messages);
        if (image.empty()) return false;
        std::string base = Lower(source.first);
        base = base.substr(0, base.rfind('.')) + ".gsl";
        if (!WriteFile(folder / base, image)) return false;
    }
    machine.AddLibraryFolder(folder.string(), "tests");
    LogCapture capture;
    std::string mainLibrary = Lower(main);
    library = machine.GetLibraryByName(mainLibrary.substr(0, mainLibrary.rfind('.')) + ".gsl");
    for (const std::string& l : LogCapture::lines())
        messages += l + "\n";
    return library != nullptr;
}

ScriptRun ScriptRunner::Run(const char* className, const char* signature,
                            const std::vector<uint32_t>& args) {
    GSClass* cls = library != nullptr ? library->FindClass(className) : nullptr;
    GSFunction* f = cls != nullptr ? FindMethod(cls, Kiv::PString(signature)) : nullptr;
    if (f == nullptr) {
        ScriptRun run;
        run.log.push_back(std::string("no method ") + signature);
        return run;
    }
    auto context = std::make_unique<GSContext>();
    ScriptRun run = RunOnNewInstance(context.get(), cls, f, args);
    // The context goes with this call (a returned reference cannot outlive it); what its
    // teardown logs belongs to the run.
    LogCapture capture;
    if (f->returnsReference && run.word != 0) ReleaseReference(run.word);
    context.reset();
    run.log.insert(run.log.end(), LogCapture::lines().begin(), LogCapture::lines().end());
    return run;
}

}  // namespace GSRuntime::testing
