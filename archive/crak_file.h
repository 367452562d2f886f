// The command host's archive file ("crak"): the daemon and the command host hand archived
// assets to each other in it. The daemon writes one to have the host install its entries; the
// host writes one when the daemon asks it to save assets. This is its one writer and its one
// reader.
//
// Layout (little-endian): u32 magic "crak" (0x6B617263); u32 format version (1; version 0
// files have no version float); f32 3.6; u32 total length of the file; u32 the archive word
// that names the exchange; then records: the asset's KUID in its 8-byte form, u32 the absolute
// offset just past the record, and the asset's data as a binary soup.
//
// Files are untrusted: the reader checks the header against the file, every record's end
// against its start and the file's end, and reads each soup only inside its record.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "configdata/kuid.h"
#include "configdata/tdb_tag_ref.h"

constexpr uint32_t kCrakMagic = 0x6B617263;
constexpr uint32_t kCrakVersion = 1;
constexpr float kCrakVersionFloat = 3.6f;
// What a length or an end position holds until it is patched.
constexpr uint32_t kCrakUnpatched = 0xFEEDCEEB;

// Builds the file in memory and writes it through a twin.
class CrakWriter {
public:
    explicit CrakWriter(uint32_t archiveWord);

    // Appends the record of one asset; false (nothing appended) when the soup cannot be written
    // or the file would outgrow the 32-bit offsets.
    bool Add(const KUID& asset, const TDBTagRef& data);
    size_t Records() const { return records_; }
    // The whole file, its length patched.
    const std::vector<uint8_t>& Bytes();
    // Writes the file through a twin; false (the target as it was) on any failure.
    bool WriteTo(std::string_view path);

private:
    std::vector<uint8_t> bytes_;
    size_t records_ = 0;
};

enum class CrakStatus {
    kOk,
    kUnreadable,  // missing or short header, wrong magic, length or word, or a bad record
    kVersion,     // a format version this reader does not know
};

// One record, positioned in the file.
struct CrakRecord {
    KUID asset;
    uint32_t start = 0;  // where its soup begins
    uint32_t end = 0;    // just past its soup
};

class CrakReader {
public:
    // Reads the file and checks its header: magic, version, total length against the file's
    // size and the archive word. The file is read whole, so it must be below 4 GiB.
    CrakStatus Open(std::string_view path, uint32_t archiveWord);
    // The same over bytes already in memory.
    CrakStatus OpenBytes(std::vector<uint8_t> bytes, uint32_t archiveWord);

    // The version read (0xFFFFFFFF when the header was short).
    uint32_t Version() const { return version_; }
    // Version 1 with the float 3.6.
    bool IsCurrentVersion() const { return current_; }

    // The next record: false at the end (the file ends, or a null KUID stands where a record
    // begins). A record whose end is not after its start or lies past the file stops the reading
    // with Status() kUnreadable.
    bool Next(CrakRecord& out);
    CrakStatus Status() const { return status_; }
    // The record's soup, read inside its window only; empty when it cannot be read.
    TDBTagRef ReadData(const CrakRecord& record) const;

private:
    std::vector<uint8_t> bytes_;
    uint32_t at_ = 0;
    uint32_t version_ = 0xFFFFFFFF;
    bool current_ = false;
    CrakStatus status_ = CrakStatus::kUnreadable;
};
