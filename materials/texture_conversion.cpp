#include "materials/texture_conversion.h"

#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "assetdb/command_host.h"
#include "assetdb/resource_db_registry.h"
#include "assetdb/wex_client_database.h"
#include "configdata/interface_text.h"
#include "configdata/tdb_container_tag.h"
#include "foundation/call_chain.h"
#include "foundation/callback.h"
#include "foundation/data_root.h"
#include "foundation/file_utils.h"
#include "foundation/logging.h"
#include "foundation/paths.h"
#include "foundation/worker_queue.h"
#include "materials/compress_ascii_resource.h"
#include "platform/kiv/base/find.h"
#include "platform/kiv/base/options.h"
#include "platform/kiv/base/path.h"
#include "platform/kiv/base/text.h"
#include "platform/kiv/res/resource.h"
#include "validation/results_log.h"

namespace {

// The resource type of descriptions being converted, and the options a conversion gives them.
constexpr const char* kConversionExtension = "convert-tex.txt";
constexpr const char* kConversionOptions = "-Automip=none -Compression=auto";

struct Value {
    const char* name;
    std::string_view text;
};

void Report(ResultsLog& log, const char* message, std::initializer_list<Value> values) {
    TDBTagRef tags;
    for (const Value& v : values)
        TDBContainerTag::SetString(tags, Kiv::PString(v.name), Kiv::PString(v.text));
    AddMessage(log, kResultsError, HalvexPropertyRef(), Kiv::String(message), tags);
}

// The engine's lookup mode that loads at once.
constexpr int kLookupNow = 2;

// A resource reference held by its owner: the release gives the reference back.
struct ReleaseResource {
    void operator()(Kiv::Resource* r) const { r->ReleaseReference(); }
};
using ResourceHold = std::unique_ptr<Kiv::Resource, ReleaseResource>;

// The queue of the conversion jobs' chains: a worker for every waiting job, up to the cores.
WorkerCallQueue& ConversionQueue() {
    static WorkerCallQueue queue([] {
        WorkerCallQueueOptions options;
        options.newWorkerAfterSeconds = -1.0f;
        options.maxWorkers = std::max(1u, std::thread::hardware_concurrency());
        return options;
    }());
    return queue;
}

// One description's conversion. Its steps run on its chain, each only after the previous one
// succeeded; the walk waits for the chain and then reads the outcome.
class WEXTextureConvertFileRPC {
public:
    WEXTextureConvertFileRPC(std::string description, ResultsLog& log)
        : description_(std::move(description)), log_(log), chain_(&ConversionQueue()) {}
    ~WEXTextureConvertFileRPC() {
        chain_.Wait();
        if (database_ != nullptr) {
            if (!alias_.view().empty()) database_->RemoveAlias(alias_);
            ReleaseResourceDatabase(database_);
        }
    }
    WEXTextureConvertFileRPC(const WEXTextureConvertFileRPC&) = delete;
    WEXTextureConvertFileRPC& operator=(const WEXTextureConvertFileRPC&) = delete;

    void Start() {
        for (Step step : {&WEXTextureConvertFileRPC::Prepare, &WEXTextureConvertFileRPC::Convert,
                          &WEXTextureConvertFileRPC::Write}) {
            chain_.Add(kCallWorker, TCXCallback(new TCXCallbackCPPVoidPtr<WEXTextureConvertFileRPC>(
                                        this, step)));
        }
    }
    void Wait() { chain_.Wait(); }
    bool Succeeded() const { return success_; }
    bool HasError() const { return error_; }
    const std::string& GetDescription() const { return description_; }

private:
    using Step = void (WEXTextureConvertFileRPC::*)(void*);

    void Fail() {
        failed_ = true;
        error_ = true;
    }

    void Prepare(void*) {
        std::string relative;
        database_ = AcquireResourceDatabaseContaining(description_, relative);
        if (database_ == nullptr) {
            Report(log_, "Unable to determine relative path for '$(FILE_NAME)'",
                   {{"file_name", description_}});
            return Fail();
        }
        subst_ = database_->GetName();
        const Kiv::File::Path description(description_);
        Kiv::File::Path output(std::string(description.GetFolder()));
        output.AddPath(TextureOutputName(description.GetFileName()));
        output_ = output.str();
        // The conversion's resource name: the description's, ".txt" giving way to the type's.
        Kiv::File::Path alias(description_.substr(0, description_.size() - 4));
        alias.Add(".").Add(kConversionExtension);
        if (!database_->AddAlias(Kiv::PString(alias.view()), description_)) {
            Report(log_, "Unable to rename file '$(FILE_NAME)' in subst '$(ARCHIVE)'",
                   {{"file_name", description_}, {"archive", subst_.view()}});
            return Fail();
        }
        alias_ = Kiv::PString(alias.view());
        // The daemon says whether the hardware path is to be left alone (true) or used.
        hardware_ = !WEXClient::TextureRequest();
    }

    void Convert(void*) {
        if (failed_) return;
        ConvertTexture();
    }

    bool ConvertTexture() {
        if (database_ == nullptr) {
            Report(log_, "$wextexture_invalid_subst", {{"archive", subst_.view()}});
            Fail();
            return false;
        }
        ResourceHold opened(database_->FindResource(alias_, kLookupNow));
        if (opened == nullptr) {
            Report(log_, "$wextexture_open_error",
                   {{"file_name", alias_.view()}, {"archive", subst_.view()}});
            Fail();
            return false;
        }
        auto* texture = dynamic_cast<CompressAsciiResource*>(opened.get());
        if (texture == nullptr) {
            Report(log_, "$wextexture_incorrect_resource",
                   {{"file_name", alias_.view()}, {"archive", subst_.view()}});
            Fail();
            return false;
        }
        opened.release();
        resource_.reset(texture);
        options_.ProcessRaw(kConversionOptions);
        resource_->SetCreationOptions(&options_);
        if (!resource_->LoadTxt(database_->GetFileOf(alias_.view()))) {
            LogOutputf("TextureConversion> %s: %s", description_.c_str(),
                       resource_->GetLoadError().c_str());
            Report(log_, "$wextexture_load_error",
                   {{"file_name", alias_.view()}, {"archive", subst_.view()}});
            Fail();
            return false;
        }
        if (!resource_->GetMipLock(hardware_)) {
            LogOutputf("TextureConversion> %s: %s", description_.c_str(),
                       GetLastCompressionError().c_str());
            Report(log_, "$wextexture_lock_error",
                   {{"file_name", alias_.view()}, {"archive", subst_.view()}});
            Fail();
            return false;
        }
        return true;
    }

    void Write(void*) {
        if (failed_) return;
        try {
            if (!resource_->Save({}, output_, hardware_)) {
                Report(log_, "Unable to write output file '$(FILE_NAME)'",
                       {{"file_name", output_}});
                return Fail();
            }
            success_ = true;
        } catch (const std::exception& e) {
            Report(log_, "Exception '$(ERROR)' thrown while processing '$(FILE_NAME)'",
                   {{"error", e.what()}, {"file_name", description_}});
            Fail();
        } catch (...) {
            Report(log_, "Exception '$(ERROR)' thrown while processing '$(FILE_NAME)'",
                   {{"error", "unknown"}, {"file_name", description_}});
            Fail();
        }
        resource_.reset();
    }

    std::string description_;
    ResultsLog& log_;
    HalvexWorkerCallChain chain_;
    Kiv::ResourceDatabase* database_ = nullptr;
    Kiv::PString subst_;
    Kiv::PString alias_;
    std::string output_;
    Kiv::Options options_;
    std::unique_ptr<CompressAsciiResource, ReleaseResource> resource_;
    bool hardware_ = false;
    bool failed_ = false;
    bool success_ = false;
    bool error_ = false;
};

bool Walk(const std::string& folder, ResultsLog& log,
          std::vector<std::unique_ptr<WEXTextureConvertFileRPC>>& jobs, int depth) {
    Kiv::File::Find find;
    Kiv::File::Path pattern(folder);
    pattern.AddPath("*");
    const bool listed =
        depth <= kMaxFolderDepth && Kiv::File::IsDirectory(folder) && !IsSymbolicLink(folder);
    if (!listed) {
        Report(log, "Unable to search path: '$(FILE_PATH)'", {{"file_path", folder}});
        return false;
    }
    bool ok = true;
    if (!find.Open(pattern.view())) return true;  // an empty folder
    do {
        const std::string& name = find.GetName();
        if (IsDotDirectory(name) || find.IsSymbolicLink()) continue;
        const std::string path = find.GetNameAndPath();
        if (find.IsDirectory()) {
            ok = Walk(path, log, jobs, depth + 1) && ok;
        } else if (IsTextureTxtFile(name) && Kiv::File::IsRegularFile(path)) {
            jobs.push_back(std::make_unique<WEXTextureConvertFileRPC>(path, log));
            jobs.back()->Start();
        }
    } while (find.Next());
    return ok;
}

}  // namespace

std::string_view TextureOutputName(std::string_view descriptionName) {
    return descriptionName.substr(0, descriptionName.size() >= 4 ? descriptionName.size() - 4 : 0);
}

void RegisterTextureConversionType() {
    static std::mutex lock;
    std::lock_guard<std::mutex> hold(lock);
    if (Kiv::FindResourceType(kConversionExtension) != nullptr) return;
    Kiv::RegisterResourceType(
        {kConversionExtension,
         [](const Kiv::PString& name, Kiv::ResourceDatabase* database) -> Kiv::Resource* {
             return new CompressAsciiResource(name, database);
         }});
}

bool CompressTexturesInFolder(std::string_view folder, ResultsLog& log, uint32_t /*flag*/) {
    RegisterTextureConversionType();
    std::vector<std::unique_ptr<WEXTextureConvertFileRPC>> jobs;
    bool ok = Walk(std::string(folder), log, jobs, 0);
    for (auto& job : jobs) {
        job->Wait();
        if (!job->Succeeded()) ok = false;
        if (job->HasError()) {
            AddMessage(log, kResultsError, HalvexPropertyRef(),
                       Kiv::String::Printf("%s (%s)",
                                           GetInterfaceString("$wex_texture_compress_err").c_str(),
                                           job->GetDescription().c_str()));
        }
        job.reset();
    }
    return ok;
}

bool CompressTextures(std::string_view folder, ResultsLog& log, uint32_t flag) {
    return CompressTexturesInFolder(folder, log, flag);
}

void WEXInstallTextureHostCall() {
    WEXCommandHostCalls calls = WEXGetCommandHostCalls();
    calls.convertTextures = [](const Kiv::PString& location, std::string_view folder,
                               ResultsLog& log) -> uint32_t {
        Kiv::File::Path path(folder);
        if (!Kiv::File::Path::IsAbsolute(folder)) path = ResolveInLocation(location.view(), folder);
        if (path.IsEmpty()) {
            Report(log, "Unable to search path: '$(FILE_PATH)'", {{"file_path", folder}});
            return 0;
        }
        return CompressTexturesInFolder(path.view(), log) ? 1u : 0u;
    };
    WEXSetCommandHostCalls(calls);
}
