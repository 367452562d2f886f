// Test support for results logs: a recipient that records what reaches it, and the wire bytes
// of a log.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "foundation/tbuffer.h"
#include "validation/results_log.h"

namespace resultstest {

struct Heard {
    std::string name;
    uint32_t value;
    const NuMessageRecipient* sender;
};

class Recorder : public NuMessageRecipient {
public:
    int HandleMessage(const NuMessageData& m) override {
        heard.push_back({m.GetName().str(), m.GetValue(), m.GetSender()});
        return 7;
    }
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const Heard& h : heard)
            names.push_back(h.name);
        return names;
    }
    std::vector<Heard> heard;
};

inline std::string Wire(ResultsLog& log, uint32_t first = 0) {
    TBuffer out;
    log.WriteToStream(out, first);
    return std::string(reinterpret_cast<const char*>(out.GetData()), out.GetDataLength());
}

inline void Read(ResultsLog& log, const std::string& bytes, uint32_t* error = nullptr) {
    TBuffer in(bytes.data(), static_cast<uint32_t>(bytes.size()));
    ResultsLog::ReadFromBuffer(in, log);
    if (error != nullptr) *error = in.GetError();
}

inline HalvexPropertyRef Kuid(int32_t user, int32_t content, int32_t version = 0) {
    return HalvexPropertyRef::MakeAssetID(Kiv::PString(""), KUID(user, content, version));
}

}  // namespace resultstest
