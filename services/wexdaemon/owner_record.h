// How the daemon tells clients where it listens: it joins the database's shared-state block,
// writes itself as the database owner with its port under the block's mutex, keeps the block
// tidy while it runs, and clears both again when it stops. Clients read the port there.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace wexd {

class OwnerRecord {
public:
    virtual ~OwnerRecord() = default;
    // Joins the block of the database and writes this process as owner with the port. False
    // (with a reason) when the block cannot be joined.
    virtual bool Publish(std::string_view databasePath, uint16_t port, std::string& error) = 0;
    // The once-a-second tidying pass while the daemon runs.
    virtual void Idle() = 0;
    // Clears port and owner (when still this process) and leaves the block.
    virtual void Withdraw() = 0;
};

// The record over the shared-state block that clients read.
std::unique_ptr<OwnerRecord> MakeSharedStateOwnerRecord();

}  // namespace wexd
