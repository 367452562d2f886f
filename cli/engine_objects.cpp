#include "cli/engine_objects.h"

#include "platform/kiv/base/log.h"
#include "platform/kiv/base/os.h"
#include "platform/kiv/display/render_kernel.h"
#include "platform/kiv/res/resource_system.h"

namespace {

// What the render kernel is made with; its meaning is the engine's.
constexpr float kRenderKernelDetail = 8.0f;

constexpr const char* kRetryLine = "Unable to load render kernel. Retrying with -NullRender.";

// Runs one start step; when it fails, says so, adds "-NullRender" and runs it once more.
template <class Step>
bool StartWithNullRenderRetry(Kiv::OS& os, std::ostream& err, Step step) {
    if (step()) return true;
    err << kRetryLine << std::endl;
    os.GetOptions().ProcessRaw("-NullRender");
    return step();
}

}  // namespace

bool StartEngineObjects(EngineRecord& record, std::string_view optionString, std::ostream& err) {
    record.os = new Kiv::OS(kEngineAppName, optionString, nullptr, nullptr);
    record.resourceSystem = new Kiv::ResourceSystem();
    record.renderKernel = new Kiv::RenderKernel(nullptr, kRenderKernelDetail);
    Kiv::OS& os = *record.os;

    if (!StartWithNullRenderRetry(os, err, [&] { return os.Init(); })) {
        err << "- Kiv OS initialisation failed." << std::endl;
        return false;
    }
    Kiv::Log::Init(os.GetOptions());
    record.resourceSystem->Init(os.GetOptions());

    Kiv::RenderKernel& kernel = *record.renderKernel;
    if (!StartWithNullRenderRetry(os, err, [&] { return kernel.Init(os.GetOptions()); })) {
        // The text has always carried a line end of its own.
        err << "- Unable to initialize render system\n" << std::endl;
        return false;
    }
    return true;
}

void DestroyEngineObjects(EngineRecord& record) {
    delete record.renderKernel;
    record.renderKernel = nullptr;
    delete record.resourceSystem;
    record.resourceSystem = nullptr;
    delete record.os;
    record.os = nullptr;
}
