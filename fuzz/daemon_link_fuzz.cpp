// A client's bytes as the daemon reads them off a link: the hello, then frames until the
// goodbye, the end or a refused frame. A frame read whole holds exactly the payload its length
// word claimed, never more than the cap.
#include <cstdint>
#include <cstdlib>

#include "services/wexdaemon/wire_format.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    wexd::MemoryByteSource source(data, size);
    wexd::ClientHello hello;
    if (wexd::ReadClientHello(source, hello) != wexd::HelloStatus::kOk) return 0;
    if (hello.databasePath.size() > wexd::kMaxHelloPathBytes) std::abort();
    for (;;) {
        wexd::Frame frame;
        wexd::FrameStatus status = wexd::ReadFrame(source, frame);
        if (status != wexd::FrameStatus::kFrame) break;
        if (frame.payload.size() > wexd::kMaxFrameBytes) std::abort();
    }
    return 0;
}
