// Test support: a fresh folder under /tmp for one test, removed with everything in it when
// the test ends.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace testsupport {

class TempDir {
public:
    TempDir() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "halvex-test-XXXXXX").string();
        if (::mkdtemp(tmpl.data()) == nullptr) ADD_FAILURE() << "cannot make a temporary folder";
        path_ = tmpl;
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    // The path of `rel` inside the folder.
    std::string operator/(const std::string& rel) const { return path_ + "/" + rel; }

    // Writes a file (its folders made first) and returns its path.
    std::string Write(const std::string& rel, const std::string& body = "") const {
        std::string p = *this / rel;
        std::filesystem::create_directories(std::filesystem::path(p).parent_path());
        std::ofstream(p, std::ios::binary) << body;
        return p;
    }
    std::string Read(const std::string& rel) const {
        std::ifstream in(*this / rel, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

private:
    std::string path_;
};

}  // namespace testsupport
