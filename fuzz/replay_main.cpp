// Replays fuzz inputs without libFuzzer, so the seed corpora run as regression tests in every
// build (g++ included). Arguments are files or folders of files; each is fed to the target once.
#include <dirent.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

int RunFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", path.c_str());
        return 1;
    }
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    return 0;
}

int Run(const std::string& path, int& count) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) {
        std::fprintf(stderr, "no such input: %s\n", path.c_str());
        return 1;
    }
    if (!S_ISDIR(st.st_mode)) {
        ++count;
        return RunFile(path);
    }
    DIR* dir = ::opendir(path.c_str());
    if (dir == nullptr) return 1;
    int failures = 0;
    while (dirent* e = ::readdir(dir)) {
        std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        failures += Run(path + "/" + name, count);
    }
    ::closedir(dir);
    return failures;
}

}  // namespace

int main(int argc, char** argv) {
    int failures = 0;
    int count = 0;
    for (int i = 1; i < argc; ++i)
        failures += Run(argv[i], count);
    std::printf("replayed %d inputs\n", count);
    if (count == 0) return 1;  // an empty corpus would pass silently
    return failures == 0 ? 0 : 1;
}
