#include "foundation/delayed_init.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

// Records each stage it runs, as "<name><stage>".
class Recorder : public DelayedInitClient {
public:
    Recorder(std::string name, std::vector<std::string>* log, uint8_t state = 0)
        : DelayedInitClient(state), name_(std::move(name)), log_(log) {}

    void InitStage1() override {
        Run(1, [this] { DelayedInitClient::InitStage1(); });
    }
    void InitStage2() override {
        Run(2, [this] { DelayedInitClient::InitStage2(); });
    }
    void InitStage3() override {
        Run(3, [this] { DelayedInitClient::InitStage3(); });
    }

    std::function<void(int)> onStage;  // runs inside each stage

private:
    void Run(int stage, const std::function<void()>& base) {
        log_->push_back(name_ + std::to_string(stage));
        base();
        if (onStage) onStage(stage);
    }
    std::string name_;
    std::vector<std::string>* log_;
};

TEST(DelayedInit, CompletingRunsOnlyTheMissingStages) {
    struct Case {
        uint8_t state;
        std::vector<std::string> runs;
    };
    const Case cases[] = {
        {0, {"c1", "c2", "c3"}},
        {DelayedInitClient::kStage1Done, {"c2", "c3"}},
        {DelayedInitClient::kStage1Done | DelayedInitClient::kStage2Done, {"c3"}},
        {DelayedInitClient::kStage2Done, {"c1", "c3"}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> log;
        DelayedInitManager manager;
        Recorder client("c", &log, c.state);
        manager.AddClient(&client);
        EXPECT_TRUE(client.IsWaiting());
        EXPECT_EQ(manager.GetWaitingCount(), 1u);
        manager.CompleteClient(&client);
        EXPECT_EQ(log, c.runs) << int(c.state);
        EXPECT_EQ(client.GetState(), DelayedInitClient::kAllStagesDone);
        EXPECT_EQ(manager.GetWaitingCount(), 0u);
        manager.CompleteClient(&client);  // nothing left to do
        EXPECT_EQ(log, c.runs);
    }
}

TEST(DelayedInit, AddClientTakesOnlyClientsWithWorkLeftAndOnlyOnce) {
    std::vector<std::string> log;
    DelayedInitManager manager, other;
    Recorder done("d", &log, DelayedInitClient::kAllStagesDone);
    Recorder client("c", &log);
    manager.AddClient(&done);
    EXPECT_FALSE(done.IsWaiting());
    manager.AddClient(&client);
    manager.AddClient(&client);
    other.AddClient(&client);  // already waiting elsewhere
    EXPECT_EQ(manager.GetWaitingCount(), 1u);
    EXPECT_EQ(other.GetWaitingCount(), 0u);
    other.RemoveClient(&client);  // not this manager's: no effect
    EXPECT_TRUE(client.IsWaiting());
    other.CompleteClient(&client);  // completes, and leaves the list that holds it
    EXPECT_EQ(manager.GetWaitingCount(), 0u);
    EXPECT_FALSE(client.IsWaiting());
}

TEST(DelayedInit, GivenStateKeepsDerivedFlagsButNotTheWaitingBit) {
    std::vector<std::string> log;
    Recorder client("c", &log, 16 | DelayedInitClient::kWaiting | DelayedInitClient::kStage1Done);
    EXPECT_EQ(client.GetState(), 16 | DelayedInitClient::kStage1Done);
    DelayedInitManager manager;
    manager.AddClient(&client);
    EXPECT_EQ(manager.GetWaitingCount(), 1u);
    manager.CompleteClient(&client);
    EXPECT_EQ(client.GetState(), 16 | DelayedInitClient::kAllStagesDone);
}

TEST(DelayedInit, EitherSideMayBeDestroyedFirst) {
    std::vector<std::string> log;
    DelayedInitManager manager;
    auto a = std::make_unique<Recorder>("a", &log);
    Recorder b("b", &log);
    manager.AddClient(a.get());
    manager.AddClient(&b);
    a.reset();
    EXPECT_EQ(manager.GetWaitingCount(), 1u);
    manager.CompleteAllClients();
    EXPECT_EQ(log, (std::vector<std::string>{"b1", "b2", "b3"}));

    auto c = std::make_unique<Recorder>("c", &log);
    {
        DelayedInitManager shortLived;
        shortLived.AddClient(c.get());
    }
    EXPECT_FALSE(c->IsWaiting());
    c.reset();  // the sanitiser catches a touch of the dead manager
}

TEST(DelayedInit, CompleteAllCopesWithClientsComingAndGoingDuringTheWalk) {
    std::vector<std::string> log;
    DelayedInitManager manager;
    Recorder a("a", &log), b("b", &log), c("c", &log), late("d", &log);
    a.onStage = [&](int stage) {
        if (stage != 1) return;
        manager.AddClient(&late);
        manager.RemoveClient(&c);
        EXPECT_FALSE(manager.CompleteAllClients());  // no walk inside a walk
    };
    for (Recorder* r : {&a, &b, &c})
        manager.AddClient(r);
    EXPECT_TRUE(manager.CompleteAllClients());
    EXPECT_EQ(log,
              (std::vector<std::string>{"a1", "a2", "a3", "b1", "b2", "b3", "d1", "d2", "d3"}));
    EXPECT_EQ(c.GetState(), 0);
    EXPECT_EQ(manager.GetWaitingCount(), 0u);
    // The emptied slots are gone: a new client is the only entry.
    manager.AddClient(&c);
    EXPECT_EQ(manager.GetWaitingCount(), 1u);
    manager.RemoveClient(&c);
    EXPECT_EQ(manager.GetWaitingCount(), 0u);
}

TEST(DelayedInit, RemovingFromAListOfSeveralBlocks) {
    std::vector<std::string> log;
    DelayedInitManager manager;
    std::vector<std::unique_ptr<Recorder>> clients;
    for (int i = 0; i < 150; ++i) {
        clients.push_back(std::make_unique<Recorder>("x", &log));
        manager.AddClient(clients.back().get());
    }
    for (int i = 0; i < 150; i += 3)
        manager.RemoveClient(clients[i].get());
    for (int i = 149; i >= 0; --i)
        manager.CompleteClient(clients[i].get());
    EXPECT_EQ(manager.GetWaitingCount(), 0u);
    for (auto& c : clients)
        EXPECT_FALSE(c->IsWaiting());
}

}  // namespace
