#include "script/host/asset_compile_mutex.h"

std::recursive_mutex& AssetCompileMutex() {
    static std::recursive_mutex mutex;
    return mutex;
}
