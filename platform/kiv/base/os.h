// The engine OS object: the application's name and its engine options, created once at
// start-up before the log, the resource system and the render kernel. The stand-in has no
// window system to open, so Init only checks and records; the options stay editable (start-up
// adds "-NullRender" after a failed render start).
#pragma once

#include <string>
#include <string_view>

#include "platform/kiv/base/options.h"

namespace Kiv {

class OS {
public:
    // instance and window are the platform's application and window handles; the stand-in
    // keeps them for callers that ask but uses neither.
    OS(std::string_view appName, std::string_view options, void* instance = nullptr,
       void* window = nullptr);
    ~OS();
    OS(const OS&) = delete;
    OS& operator=(const OS&) = delete;

    // True when the option string was well formed; otherwise false with GetLastError set.
    bool Init();
    bool IsInitialised() const { return initialised_; }

    Options& GetOptions() { return options_; }
    const Options& GetOptions() const { return options_; }
    const std::string& GetAppName() const { return appName_; }
    const std::string& GetLastError() const { return lastError_; }
    void* GetInstance() const { return instance_; }
    void* GetWindow() const { return window_; }

    // The OS object alive now (the last one constructed), or none.
    static OS* GetCurrent();

    // Test hook: the next `count` calls of Init, in any OS object, fail.
    static void FailNextInitsForTesting(int count);

private:
    std::string appName_;
    Options options_;
    bool optionsOk_;
    bool initialised_ = false;
    std::string lastError_;
    void* instance_;
    void* window_;
};

}  // namespace Kiv
