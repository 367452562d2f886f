#include "services/wexdaemon/handler_services.h"

#include <charconv>

#include "assetdb/settings_requests.h"
#include "services/wexdaemon/asset_store.h"
#include "services/wexdaemon/daemon_log.h"
#include "services/wexdaemon/vendrix_service.h"

namespace wexd {

bool RepairState::Begin() {
    std::lock_guard<std::mutex> hold(mutex_);
    if (running_) return false;
    running_ = true;
    progress_ = 0.0f;
    status_ = "repairing the database";
    return true;
}

void RepairState::SetProgress(float share, const std::string& status) {
    std::lock_guard<std::mutex> hold(mutex_);
    progress_ = share;
    if (!status.empty()) status_ = status;
}

void RepairState::End(const std::string& status) {
    std::lock_guard<std::mutex> hold(mutex_);
    running_ = false;
    progress_ = 1.0f;
    status_ = status;
}

bool RepairState::Running() const {
    std::lock_guard<std::mutex> hold(mutex_);
    return running_;
}

bool RepairState::Get(float& progress, std::string& status) const {
    std::lock_guard<std::mutex> hold(mutex_);
    progress = progress_;
    status = status_;
    return running_;
}

HandlerServices::HandlerServices(std::function<AssetStore*()> store) : store_(std::move(store)) {}

HandlerServices::~HandlerServices() = default;

VendrixService& HandlerServices::Vendrix() {
    std::call_once(vendrixOnce_, [this] {
        VendrixService::Options options;
        options.dataRoot = Store().Paths().root;
        options.delay = vendrixDelay_;
        options.folderSetting = [this] {
            return Settings().Get(kVendrixSettingsGroup, kVendrixSettingFolder);
        };
        vendrix_ = std::make_unique<VendrixService>(std::move(options));
    });
    return *vendrix_;
}

AssetStore& HandlerServices::Store() {
    return *store_();
}

SettingsStore& HandlerServices::Settings() {
    std::call_once(settingsOnce_, [this] {
        settings_ = std::make_unique<SettingsStore>(Store().Paths().Settings());
    });
    return *settings_;
}

bool HandlerServices::GeneratingUserId(int32_t& userId) {
    std::string text = Settings().Get(kSettingsDatabaseGroup, kSettingUserId);
    if (text.empty()) {
        userId = kLocalContentUserId;
        return true;
    }
    int64_t value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value < KUID::kMinUserId ||
        value > KUID::kMaxUserId) {
        DaemonLog("the setting %s/%s \"%s\" is no user id a KUID can hold",
                  std::string(kSettingsDatabaseGroup).c_str(), std::string(kSettingUserId).c_str(),
                  text.c_str());
        return false;
    }
    userId = static_cast<int32_t>(value);
    return true;
}

std::string HandlerServices::AuthorName(int32_t authorId) {
    std::string id = std::to_string(authorId);
    std::string name = Settings().Get(kSettingsAuthorsGroup, id);
    if (!name.empty()) return name;
    int32_t own = 0;
    if (GeneratingUserId(own) && own == authorId) {
        name = Settings().Get(kWEXSettingsInternet, kWEXSettingUsername);
        if (!name.empty()) return name;
    }
    return id;
}

}  // namespace wexd
