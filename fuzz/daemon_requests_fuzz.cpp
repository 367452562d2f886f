// The daemon's request handlers fed hostile payloads: every request the daemon serves (but the
// folder install, which would copy whatever folder of this machine the bytes name) runs on a
// store in a temporary folder holding two assets. The input is a one-byte choice of request
// and its payload. A handler may refuse a payload but must not crash, hang or read outside it,
// and each request's reply is bounded.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "configdata/config_file.h"
#include "configdata/tdb_container_tag.h"
#include "platform/kiv/base/pstring.h"
#include "services/wexdaemon/asset_store.h"
#include "services/wexdaemon/handlers.h"

namespace {

// Every id the daemon serves but request 39.
constexpr uint32_t kIds[] = {2,   3,   4,   20,  21,  23,  26,  27,  28,  29,  30,
                             31,  32,  33,  34,  35,  36,  38,  40,  42,  43,  48,
                             50,  54,  58,  74,  90,  100, 101, 102, 121, 122, 135,
                             181, 230, 231, 232, 235, 236, 240, 241, 242, 253, 256};

// Replies larger than this would mean a handler sized its answer from the payload's claims.
constexpr uint32_t kMaxReply = 1u << 20;

class DroppedNotes final : public wexd::NoteSink {
public:
    bool SendNote(uint32_t, const void*, uint32_t) override { return true; }
};

struct Fixture {
    Fixture() {
        char folder[] = "/tmp/halvex-fuzz-daemon-XXXXXX";
        if (::mkdtemp(folder) == nullptr) std::abort();
        root = folder;
        wexd::DataPaths paths{root + "/UserData"};
        store = std::make_unique<wexd::AssetStore>(paths);
        std::string error;
        if (!store->Open(error)) std::abort();
        for (int i = 1; i <= 2; ++i) {
            std::string source = root + "/src" + std::to_string(i);
            std::filesystem::create_directories(source);
            TDBTagRef config;
            TDBContainerTag::SetKUID(config, Kiv::PString("kuid"), KUID(5, i));
            TDBContainerTag::SetString(config, Kiv::PString("username"), Kiv::PString("Asset"));
            if (!WriteConfigFile(config, {}, source + "/config.txt")) std::abort();
            KUID installed;
            store->InstallFolder(source, installed);
        }
        auto services = std::make_shared<wexd::HandlerServices>([this] { return store.get(); });
        wexd::AddAssetRequests(table, services);
    }
    ~Fixture() {
        store.reset();
        std::filesystem::remove_all(root);
    }
    std::string root;
    std::unique_ptr<wexd::AssetStore> store;
    wexd::RequestTable table;
    DroppedNotes notes;
};

Fixture& TheFixture() {
    static Fixture fixture;
    return fixture;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    Fixture& f = TheFixture();
    uint32_t id = kIds[data[0] % (sizeof kIds / sizeof kIds[0])];
    const wexd::RequestEntry* entry = f.table.Find(id);
    if (entry == nullptr) std::abort();
    wexd::RequestContext context(id, 1, data + 1, static_cast<uint32_t>(size - 1), &f.notes);
    entry->handler(context);
    if (context.Reply().GetDataLength() > kMaxReply) std::abort();
    Kiv::PStringCache::CollectGarbage();
    return 0;
}
