#include "foundation/delayed_init.h"

DelayedInitClient::~DelayedInitClient() {
    if (manager_ != nullptr) manager_->RemoveClient(this);
}

DelayedInitManager::~DelayedInitManager() {
    for (DelayedInitClient* client : clients_) {
        if (client == nullptr) continue;
        client->state_ &= ~DelayedInitClient::kWaiting;
        client->manager_ = nullptr;
    }
}

void DelayedInitManager::AddClient(DelayedInitClient* client) {
    if (client == nullptr) return;
    uint8_t state = client->state_;
    if ((state & DelayedInitClient::kAllStagesDone) == DelayedInitClient::kAllStagesDone) return;
    if ((state & DelayedInitClient::kWaiting) != 0) return;
    client->state_ |= DelayedInitClient::kWaiting;
    client->manager_ = this;
    clients_.Append(client);
}

void DelayedInitManager::CompleteClient(DelayedInitClient* client) {
    if (client == nullptr) return;
    if ((client->state_ & DelayedInitClient::kStage1Done) == 0) client->InitStage1();
    if ((client->state_ & DelayedInitClient::kStage2Done) == 0) client->InitStage2();
    if ((client->state_ & DelayedInitClient::kStage3Done) == 0) client->InitStage3();
    if (client->manager_ != nullptr) client->manager_->RemoveClient(client);
}

void DelayedInitManager::RemoveClient(DelayedInitClient* client) {
    if (client == nullptr || (client->state_ & DelayedInitClient::kWaiting) == 0) return;
    if (client->manager_ != this) return;
    // Most clients leave in the order they came, so the last entry is tried first.
    auto it = clients_.Last();
    if (it.IsEnd() || *it != client) it = clients_.Find(client);
    if (!it.IsEnd()) {
        if (walking_)
            *it = nullptr;
        else
            clients_.Erase(it);
    }
    client->state_ &= ~DelayedInitClient::kWaiting;
    client->manager_ = nullptr;
}

bool DelayedInitManager::CompleteAllClients() {
    if (walking_) return false;
    walking_ = true;
    for (auto it = clients_.Begin(); !it.IsEnd(); it.Next()) {
        if (*it != nullptr) CompleteClient(*it);
    }
    walking_ = false;
    for (auto it = clients_.Begin(); !it.IsEnd();) {
        if (*it == nullptr)
            it = clients_.Erase(it);
        else
            it.Next();
    }
    return true;
}

uint32_t DelayedInitManager::GetWaitingCount() const {
    uint32_t n = 0;
    for (DelayedInitClient* client : clients_) {
        if (client != nullptr) ++n;
    }
    return n;
}
