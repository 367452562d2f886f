#include "platform/wexdaemon/owner_record.h"

namespace wexd {

namespace {

// Until the shared-state block is part of this build, nothing can be published: say so, so
// the daemon logs it, rather than pretending clients can find the port.
class UnavailableOwnerRecord final : public OwnerRecord {
public:
    bool Publish(std::string_view, uint16_t, std::string& error) override {
        error = "the shared-state block is not available in this build";
        return false;
    }
    void Idle() override {}
    void Withdraw() override {}
};

}  // namespace

std::unique_ptr<OwnerRecord> MakeSharedStateOwnerRecord() {
    return std::make_unique<UnavailableOwnerRecord>();
}

}  // namespace wexd
