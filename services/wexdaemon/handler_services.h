// What the request handlers share: the daemon's store, the settings groups, the state of a
// running repair and the authors' names. One object serves every handler; each part guards
// itself, since handlers run on several links' threads at once.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "configdata/kuid.h"
#include "services/wexdaemon/settings_store.h"

namespace wexd {

class AssetStore;
class CommandHostManager;
class VendrixService;

// A repair's state, read by the progress request while the repair runs on another thread.
class RepairState {
public:
    // False when a repair runs already.
    bool Begin();
    void SetProgress(float share, const std::string& status);
    void End(const std::string& status);
    bool Running() const;
    // Whether it runs, with its progress (0 to 1) and status text.
    bool Get(float& progress, std::string& status) const;

private:
    mutable std::mutex mutex_;
    bool running_ = false;
    float progress_ = 0.0f;
    std::string status_;
};

class HandlerServices {
public:
    // `store` gives the store the handlers work on; it is called only while requests run,
    // when the daemon has made its store.
    explicit HandlerServices(std::function<AssetStore*()> store);
    ~HandlerServices();

    AssetStore& Store();
    // The daemon's command host; null where none is kept (handlers run alone).
    CommandHostManager* Host() { return host_ ? host_() : nullptr; }
    void SetHost(std::function<CommandHostManager*()> host) { host_ = std::move(host); }
    SettingsStore& Settings();
    RepairState& Repair() { return repair_; }
    // The stand-in content service, on the store's data root and the "vendrix" settings.
    VendrixService& Vendrix();
    // How long each content-service fetch takes; set before requests run.
    void SetVendrixDelay(std::chrono::milliseconds delay) { vendrixDelay_ = delay; }

    // The user id of the KUIDs the daemon generates: the settings' "user-id" of the
    // "database" group, or kLocalContentUserId when none is set. False when the setting is
    // not a whole number or names an id the 8-byte KUID form cannot hold.
    bool GeneratingUserId(int32_t& userId);
    // The name of an author id: the "authors" group's entry for it; for the daemon's own user
    // id without one, the "internet" group's "username"; else the id in decimal.
    std::string AuthorName(int32_t authorId);

private:
    std::function<AssetStore*()> store_;
    std::function<CommandHostManager*()> host_;
    std::once_flag settingsOnce_;
    std::unique_ptr<SettingsStore> settings_;
    RepairState repair_;
    std::chrono::milliseconds vendrixDelay_{0};
    std::once_flag vendrixOnce_;
    std::unique_ptr<VendrixService> vendrix_;
};

}  // namespace wexd
