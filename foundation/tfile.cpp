#include "foundation/tfile.h"

#include <string>

bool TFile::Open(std::string_view path, uint32_t mode) {
    CloseFile();
    file_ = new Kiv::File;
    owns_ = true;
    ClearReadAhead();
    return file_->Open(path, mode);
}

bool TFile::OpenInFolder(const Kiv::PString& folder, std::string_view name, uint32_t mode) {
    CloseFile();
    file_ = new Kiv::File;
    owns_ = true;
    ClearReadAhead();
    return file_->Open(folder, name, mode);
}

void TFile::CloseFile() {
    if (file_ != nullptr) {
        if (owns_) {
            delete file_;
        } else if (unread_ != 0) {
            file_->Seek(-int64_t{unread_}, Kiv::File::kFromCurrent);
        }
        file_ = nullptr;
    }
    ClearReadAhead();
    ClearError();
}

void TFile::Reset() {
    if (!IsOpen()) return;
    std::string path = file_->GetPath();
    uint32_t flags = file_->GetOpenFlags();
    file_->Close();
    ClearError();
    ClearReadAhead();
    file_->Open(path, Kiv::File::kModeCreate, flags);
}

uint32_t TFile::Tell() {
    if (file_ == nullptr) return 0;
    return static_cast<uint32_t>(file_->Tell()) - unread_;
}

uint32_t TFile::Write(const void* data, uint32_t n) {
    if (file_ == nullptr) {
        SetError(kErrorDevice);
        return 0;
    }
    DropReadAhead();
    uint32_t written = file_->Write(data, n);
    if (written != n) SetError(kErrorDevice);
    return written;
}

uint32_t TFile::ReadDevice(void* dest, uint32_t n) {
    if (file_ == nullptr) {
        SetError(kErrorDevice);
        return 0;
    }
    uint32_t got = file_->Read(dest, n);
    // Running into the end of the file is how every buffered read of a file ends, not a
    // failure; only a read that stopped short of the end is.
    if (got != n && !file_->Eof()) SetError(kErrorDevice);
    return got;
}

bool TFile::SeekDevice(int64_t offset, int origin) {
    if (file_ == nullptr) {
        SetError(kErrorDevice);
        return false;
    }
    if (origin == kFromCurrent) offset -= unread_;
    return file_->Seek(offset, origin);
}

bool TFile::AtEnd() {
    if (file_ == nullptr) return true;
    if (unread_ != 0) return false;
    return file_->Eof();
}
