#include "materials/texture_compress.h"

#include <nvtt/nvtt.h>

#include <cstring>
#include <exception>
#include <utility>

namespace {

thread_local Kiv::PString lastCompressionError;

void SetLastError(const char* text) {
    lastCompressionError = Kiv::PString(text != nullptr ? text : "");
}

class OurErrorHandler : public nvtt::ErrorHandler {
public:
    void error(nvtt::Error e) override {
        failed_ = true;
        SetLastError(nvtt::errorString(e));
    }
    bool Failed() const { return failed_; }

private:
    bool failed_ = false;
};

bool CompressUncompressed(const Kiv::Bitmap& source, TextureCompress& levels, uint32_t mode) {
    Kiv::Bitmap::Format format = mode == Kiv::kTextureFormatARGB8888   ? Kiv::Bitmap::kFormatARGB32
                                 : mode == Kiv::kTextureFormatXRGB8888 ? Kiv::Bitmap::kFormatXRGB32
                                                                       : Kiv::Bitmap::kFormatRGB24;
    std::unique_ptr<Kiv::Bitmap> level = source.Convert(format);
    if (level == nullptr) return false;
    for (;;) {
        const uint32_t w = level->GetWidth();
        const uint32_t h = level->GetHeight();
        levels.Append(std::move(level));
        if (w == 1 && h == 1) return true;
        level = levels.Last()->Scale(w > 1 ? w / 2 : 1, h > 1 ? h / 2 : 1);
        if (level == nullptr) return false;
    }
}

// The compressor reads blue, green, red, alpha: the bitmap's bytes with red and blue swapped,
// and alpha 255 everywhere for an opaque source.
std::vector<uint8_t> CompressorPixels(const Kiv::Bitmap& source, bool opaque) {
    std::vector<uint8_t> bgra(source.GetPixels());
    for (size_t i = 0; i + 3 < bgra.size(); i += 4) {
        std::swap(bgra[i], bgra[i + 2]);
        if (opaque) bgra[i + 3] = 255;
    }
    return bgra;
}

bool CompressBlocks(const Kiv::Bitmap& source, bool opaque, TextureCompress& levels, uint32_t mode,
                    bool alpha, bool tile, bool normalMap, bool mipmaps,
                    bool hardwareAcceleration) {
    OurOutputHandler output(levels);
    OurErrorHandler errors;
    bool ok = false;
    try {
        nvtt::InputOptions input;
        input.setMipmapGeneration(mipmaps, -1);
        if (normalMap) input.setNormalMap(true);
        input.setWrapMode(tile ? nvtt::WrapMode_Repeat : nvtt::WrapMode_Clamp);
        nvtt::Compressor compressor;
        compressor.enableCudaAcceleration(hardwareAcceleration);
        nvtt::CompressionOptions compression;
        switch (mode) {
            case Kiv::kTextureFormatDXT1:
                compression.setFormat(alpha ? nvtt::Format_DXT1a : nvtt::Format_DXT1);
                break;
            case Kiv::kTextureFormatDXT3:
                compression.setFormat(nvtt::Format_DXT3);
                break;
            case Kiv::kTextureFormatDXT5:
                compression.setFormat(nvtt::Format_DXT5);
                break;
            default:
                compression.setFormat(nvtt::Format_DXT1);
                break;
        }
        compression.setQuality(nvtt::Quality_Production);
        const int w = static_cast<int>(source.GetWidth());
        const int h = static_cast<int>(source.GetHeight());
        input.setTextureLayout(nvtt::TextureType_2D, w, h, 1);
        const std::vector<uint8_t> pixels = CompressorPixels(source, opaque);
        if (!input.setMipmapData(pixels.data(), w, h, 1, 0, 0)) {
            SetLastError("the image could not be handed to the compressor");
            return false;
        }
        // A normal map is averaged plainly so that its vectors stay unbiased; colour images get
        // the sharper Kaiser filter.
        input.setMipmapFilter(normalMap ? nvtt::MipmapFilter_Box : nvtt::MipmapFilter_Kaiser);
        nvtt::OutputOptions out;
        out.setOutputHandler(&output);
        out.setErrorHandler(&errors);
        out.setOutputHeader(false);
        ok = compressor.process(input, compression, out);
    } catch (const std::exception& e) {
        SetLastError(e.what());
        return false;
    } catch (...) {
        SetLastError("the compressor failed");
        return false;
    }
    if (!ok || errors.Failed()) {
        if (lastCompressionError.view().empty()) SetLastError("the compressor failed");
        return false;
    }
    output.Finish();
    return true;
}

}  // namespace

OurOutputHandler::~OurOutputHandler() {
    Finish();
}

void OurOutputHandler::beginImage(int size, int width, int height, int /*depth*/, int /*face*/,
                                  int /*miplevel*/) {
    Finish();
    if (size < 0 || width <= 0 || height <= 0) return;
    current_ = Kiv::Bitmap::MakeCompressed(
        static_cast<uint32_t>(width), static_cast<uint32_t>(height), static_cast<size_t>(size));
    if (!current_->IsValid()) current_.reset();
    written_ = 0;
}

bool OurOutputHandler::writeData(const void* data, int size) {
    if (current_ == nullptr || size < 0) return false;
    const size_t n = static_cast<size_t>(size);
    if (n > current_->GetDataSize() - written_) return false;
    if (n != 0) std::memcpy(current_->GetData() + written_, data, n);
    written_ += n;
    return true;
}

void OurOutputHandler::Finish() {
    if (current_ != nullptr) levels_.Append(std::move(current_));
    current_.reset();
    written_ = 0;
}

bool CompressTexture(const Kiv::Bitmap& bitmap, TextureCompress& levels, uint32_t mode, bool alpha,
                     bool tile, bool normalMap, bool mipmaps, bool hardwareAcceleration) {
    SetLastError("");
    const Kiv::Bitmap::Format format = bitmap.GetFormat();
    if (format != Kiv::Bitmap::kFormatARGB32 && format != Kiv::Bitmap::kFormatXRGB32) return false;
    const bool uncompressed = mode == Kiv::kTextureFormatARGB8888 ||
                              mode == Kiv::kTextureFormatXRGB8888 ||
                              mode == Kiv::kTextureFormatRGB888;
    if (!uncompressed && Kiv::TextureBlockBytes(mode) == 0) return false;

    // An opaque source is compressed with alpha 255 everywhere, whatever its alpha bytes hold;
    // the caller's bitmap is left as it is.
    const bool opaque = format == Kiv::Bitmap::kFormatXRGB32 || mode == Kiv::kTextureFormatXRGB8888;
    if (!uncompressed)
        return CompressBlocks(bitmap, opaque, levels, mode, alpha, tile, normalMap, mipmaps,
                              hardwareAcceleration);
    if (!opaque) return CompressUncompressed(bitmap, levels, mode);
    std::unique_ptr<Kiv::Bitmap> copy = bitmap.Convert(format);
    uint8_t* p = copy->GetData();
    for (size_t i = 3; i < copy->GetDataSize(); i += 4)
        p[i] = 255;
    return CompressUncompressed(*copy, levels, mode);
}

Kiv::PString GetLastCompressionError() {
    return lastCompressionError;
}
