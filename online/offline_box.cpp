#include "online/offline_box.h"

#include <cstring>

#include "foundation/file_utils.h"
#include "foundation/logging.h"
#include "foundation/tfile.h"
#include "foundation/tstream.h"

namespace {

constexpr char kMagic[4] = {'T', 'B', 'O', 'X'};

}  // namespace

bool SaveOfflineBox(TStream& stream, const StoredMessageList& box) {
    if (stream.Write(kMagic, sizeof kMagic) != sizeof kMagic) return false;
    stream.WriteU32(kOfflineBoxVersion);
    stream.WriteU32(static_cast<uint32_t>(box.size()));
    for (const auto& message : box) {
        // Only the plain form is kept: a versioned message's extra fields mean nothing here.
        if (!message->OnlineMessage::Write(stream)) return false;
    }
    return !stream.HasError();
}

bool LoadOfflineBox(TStream& stream, StoredMessageList& box) {
    char magic[sizeof kMagic] = {};
    uint32_t version = 0;
    if (stream.ReadBytes(magic, sizeof magic) != sizeof magic ||
        std::memcmp(magic, kMagic, sizeof magic) != 0 || !stream.ReadU32(version, 0) ||
        version != kOfflineBoxVersion)
        return false;
    uint32_t count = 0;
    stream.ReadU32(count, 0);
    box.clear();
    for (uint32_t i = 0; i < count; ++i) {
        auto message = std::make_unique<OnlineMessage>();
        if (!message->Read(stream)) break;
        box.push_back(std::move(message));
    }
    return true;
}

bool ReadOfflineBox(const std::string& path, StoredMessageList& box) {
    box.clear();
    TFile file;
    if (!file.Open(path, Kiv::File::kModeRead)) return true;
    if (LoadOfflineBox(file, box)) return true;
    LogOutputf("OnlineAccess> %s is no offline box; it is left as it is", path.c_str());
    return false;
}

bool WriteOfflineBox(const std::string& path, const StoredMessageList& box) {
    if (WriteFileReplacing(path, [&box](TStream& stream) { return SaveOfflineBox(stream, box); }))
        return true;
    LogOutputf("OnlineAccess> unable to write %s", path.c_str());
    return false;
}
