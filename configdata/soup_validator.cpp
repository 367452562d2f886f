#include "configdata/soup_validator.h"

#include <vector>

#include "configdata/acs_chunk.h"
#include "configdata/soup_format.h"

bool ValidateSoupRun(const uint8_t* body, uint32_t start, uint32_t size) {
    struct Run {
        uint32_t position;
        uint32_t end;
    };
    // The runs entered and not yet finished: the outermost first. A chunk read from the run at
    // stack depth d is a node at tree depth d.
    std::vector<Run> open;
    open.push_back({start, start + size});
    while (!open.empty()) {
        Run& run = open.back();
        if (run.end - run.position < kSoupMinChunk) {
            open.pop_back();
            continue;
        }
        SoupChunk chunk;
        if (!ParseSoupChunk(body, run.position, run.end, chunk)) return false;
        if (open.size() > kMaxTagTreeDepth) return false;
        run.position = chunk.next;
        if (chunk.typeByte == kSoupByteContainer)
            open.push_back({chunk.dataOffset, chunk.dataOffset + chunk.dataSize});
    }
    return true;
}
