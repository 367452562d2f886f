// What every mesh loader answers: 0 for success, else one of nine codes, each with a name and
// a message for display.
#pragma once

#include <cstdint>

enum MeshResultCode : uint32_t {
    kMeshOk = 0,
    RES_UNKNOWN = 1,
    RES_FILE_OPEN_ERROR = 2,
    RES_FILE_FORMAT_ERROR = 3,
    RES_FILE_VERSION_ERROR = 4,
    RES_NO_MATERIAL_MANAGER = 5,
    RES_UNSUPPORTED_MATERIAL = 6,
    RES_UNKNOWN_MATERIAL = 7,
    RES_FAIL_CHUNK_CREATE = 8,
    RES_FILE_DATA_ERROR = 9,
};

struct MeshResultText {
    const char* name;
    const char* message;
};

// Entry n - 1 for code n.
extern const MeshResultText kMeshResultTexts[9];

// Null for 0 and for anything past 9.
const char* MeshResultName(uint32_t code);
const char* MeshResultMessage(uint32_t code);

// The record a loader fills; its first field is the code.
struct MeshLoadResult {
    uint32_t code = kMeshOk;
};
