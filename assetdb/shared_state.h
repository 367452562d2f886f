// The inter-process state block that this program and the database daemon share: 36 bytes of
// named shared memory, guarded by a named mutex, through which a client learns the daemon's
// TCP port and which the attached processes keep tidy (a dead holder is replaced, dead owner
// and requester ids are cleared).
//
// The names derive from the database's folder, so every program working on the same
// "assets.wbi" meets in one block. Offsets and widths are a cross-process format; all words are
// little-endian. A block left behind only by processes that have died counts as new.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

constexpr size_t kSharedStateSize = 36;
constexpr uint32_t kSharedStateVersion = 3;
constexpr uint32_t kNoProcess = 0xFFFFFFFFu;

// A view of the block's fields over its 36 bytes (which must be 4-byte aligned). Each field is
// read and written as a whole, so a process never sees half of another's write.
class WEXSharedState {
public:
    static constexpr size_t kHolderOffset = 0;      // u32: the process keeping the block tidy
    static constexpr size_t kOwnerOffset = 4;       // u32: the daemon that owns the database
    static constexpr size_t kRequesterOffset = 8;   // u32: the database requester
    static constexpr size_t kReservedOffset = 12;   // u32
    static constexpr size_t kVersionOffset = 16;    // u32: layout version
    static constexpr size_t kCountOffset = 20;      // u8: attached processes (3 bytes padding)
    static constexpr size_t kClosingOffset = 24;    // u32: nonzero: being shut down
    static constexpr size_t kReserved2Offset = 28;  // u8 (3 bytes padding)
    static constexpr size_t kPortOffset = 32;       // u32: the daemon's TCP port, 0 = none

    explicit WEXSharedState(void* bytes) : bytes_(static_cast<uint8_t*>(bytes)) {}

    uint32_t Word(size_t offset) const;
    void SetWord(size_t offset, uint32_t value);
    uint8_t Count() const;
    void SetCount(uint8_t value);

    uint32_t Holder() const { return Word(kHolderOffset); }
    uint32_t Owner() const { return Word(kOwnerOffset); }
    uint32_t Requester() const { return Word(kRequesterOffset); }
    uint32_t Version() const { return Word(kVersionOffset); }
    uint32_t Closing() const { return Word(kClosingOffset); }
    uint32_t Port() const { return Word(kPortOffset); }

    // The state of a new block: holder = holder, no owner or requester, version 3, one
    // process attached, not closing, no port. Padding is left alone.
    void Initialise(uint32_t holder);

private:
    uint8_t* bytes_;
};

// The names of the database folder's mutex and block: empty when the database path does not
// end in "assets.wbi" (letter case ignored) or its folder does not exist. The names are formed
// from the lower-cased folder, so any spelling of the same folder meets the same block.
struct SharedStateNames {
    std::string mutex;
    std::string mapping;
};
SharedStateNames SharedStateNamesFor(std::string_view databasePath);

// Joins (or makes) the block of the database. True at once when already attached. False when
// the path is refused, the mutex or the block cannot be had, or the block is closing.
bool AttachSharedState(std::string_view databasePath);
// Why the last attach could not open the block or its lock files, for the user: above all a
// file another user made or may use ("... belongs to user 65534, not to this user (1000)"),
// which is never trusted. Empty when the last attach got that far.
std::string GetSharedStateRefusal();
// Leaves the block: gives up ownership and, as the holder, the holder's place and one count.
// The last process to leave removes the block.
void DetachSharedState();
// The tidying pass: claims the block when its holder is gone; as the holder, clears the owner
// and requester ids of processes that have died (logging each), and the requester when this
// process is both.
void IPCIdle();

// True when the block's owner is this process.
bool IsDatabaseOwner();
// Clears the owner when it is this process.
void GiveUpDatabaseOwnership();
// The daemon's port: 0 when not attached, when this process is the owner, or when the word is
// no TCP port (above 65535).
uint32_t GetDaemonPort();
// True while this process is attached, and whether it is the block's holder.
bool IsSharedStateAttached();
bool IsSharedStateHolder();
