// The texture checks over an arbitrary description: the bytes are written as a description
// beside a small image (and as an image it may name), and the asset folder is checked. No
// crash, hang or read outside, whatever the lines, NULs or line ends.
#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/kiv/base/path.h"
#include "validation/container.h"
#include "validation/data_manager.h"
#include "validation/error_handler.h"

namespace {

std::string gFolder;

void WriteFile(const std::string& path, const void* data, size_t size) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) std::abort();
    if (size != 0) std::fwrite(data, 1, size, f);
    std::fclose(f);
}

bool Setup() {
    char folder[] = "/tmp/halvex-texture-fuzz-XXXXXX";
    if (::mkdtemp(folder) == nullptr) std::abort();
    const std::string data = std::string(folder) + "/DUVData/";
    gFolder = std::string(folder) + "/asset";
    if (std::system(("mkdir -p '" + data + "lists' '" + gFolder + "/sub'").c_str()) != 0)
        std::abort();
    // A 2 x 2 24-bit BMP the descriptions may name.
    std::string bmp(54, '\0');
    bmp[0] = 'B';
    bmp[1] = 'M';
    bmp[10] = 54;
    bmp[14] = 40;
    bmp[18] = 2;
    bmp[22] = 2;
    bmp[26] = 1;
    bmp[28] = 24;
    bmp += std::string(16, '\x10');
    WriteFile(gFolder + "/a.bmp", bmp.data(), bmp.size());
    WriteFile(gFolder + "/sub/b.texture", "x", 1);
    DUVLib::ErrorHandler::Startup();
    DUVLib::DataManager::Startup(data);
    DUVLib::DataManager::Instance().conversionCheck = true;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool ready = Setup();
    (void)ready;
    WriteFile(gFolder + "/x.texture.txt", data, size);
    WriteFile(gFolder + "/sub/i.bmp", data, size);
    DUVLib::ErrorHandler::Instance()->Clear();
    {
        DUVLib::Container root;
        const Kiv::File::Path folder(gFolder);
        root.CheckTextureFile(folder, folder);
    }
    DUVLib::ErrorHandler::Instance()->Clear();
    return 0;
}
