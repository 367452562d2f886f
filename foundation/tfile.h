// TFile: the file stream over a file of the engine's file layer.
#pragma once

#include <string_view>

#include "foundation/tstream.h"
#include "platform/kiv/base/file.h"

class TFile : public TStream {
public:
    TFile() = default;
    // Over a given open file, destroyed with the stream when `owns` is set.
    TFile(Kiv::File* file, bool owns) : file_(file), owns_(owns) {}
    ~TFile() override { CloseFile(); }

    // Closes any current file, then opens through the engine with one of Kiv::File's modes.
    // True when the file is open.
    bool Open(std::string_view path, uint32_t mode);
    bool OpenInFolder(const Kiv::PString& folder, std::string_view name, uint32_t mode);
    // Releases the file: deleted when owned; a borrowed file is moved back by the unread count
    // so its next reader starts at the logical position. Clears the error code.
    void CloseFile();

    // Truncates the file: reopens the same path for writing and clears the error code.
    void Reset() override;
    uint32_t Tell() override;
    bool IsOpen() override { return file_ != nullptr && file_->IsOpen(); }
    uint32_t Write(const void* data, uint32_t n) override;
    bool AtEnd() override;

    Kiv::File* GetFile() { return file_; }

protected:
    bool SeekDevice(int64_t offset, int origin) override;
    uint32_t ReadDevice(void* dest, uint32_t n) override;

private:
    Kiv::File* file_ = nullptr;
    bool owns_ = false;
};
