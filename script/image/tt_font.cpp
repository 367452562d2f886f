#include "script/image/tt_font.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_SIZES_H

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/kiv/base/log.h"

namespace ScriptImage {

namespace {

struct CharsetName {
    const char* name;
    int value;
};
constexpr CharsetName kCharsets[] = {
    {"ansi", 0},      {"baltic", 186},   {"big5", 136},   {"default", 1},   {"easteurope", 238},
    {"gb2312", 134},  {"greek", 161},    {"hangul", 129}, {"mac", 77},      {"oem", 255},
    {"russian", 204}, {"shiftjis", 128}, {"symbol", 2},   {"turkish", 162}, {"vietnamese", 163},
    {"johab", 130},   {"arabic", 178},   {"hebrew", 177}, {"thai", 222},
};

// The fontconfig language a character set asks a face to cover; null asks for none. The symbol
// set asks for the symbol encoding's private-use range instead (see Covers).
const char* LanguageOf(int charset) {
    switch (charset) {
        case 0:
        case 77:
        case 255:
            return "en";
        case 186:
            return "lt";
        case 136:
            return "zh-tw";
        case 238:
            return "pl";
        case 134:
            return "zh-cn";
        case 161:
            return "el";
        case 129:
        case 130:
            return "ko";
        case 204:
            return "ru";
        case 128:
            return "ja";
        case 162:
            return "tr";
        case 163:
            return "vi";
        case 178:
            return "ar";
        case 177:
            return "he";
        case 222:
            return "th";
        default:
            return nullptr;
    }
}

Kiv::LogClient& FontLog() {
    static Kiv::LogClient log("TTFont");
    return log;
}

// --- the FreeType binding ---------------------------------------------------------------------

std::mutex g_freeTypeLock;  // FreeType's library object is not thread-safe
FT_Library g_library = nullptr;

class FreeTypeFont final : public PlatformFont {
public:
    ~FreeTypeFont() override {
        std::lock_guard<std::mutex> hold(g_freeTypeLock);
        if (face != nullptr) FT_Done_Face(face);
    }
    FT_Face face = nullptr;
    FontRequest request;
    bool emboldenSynthetic = false;
    bool slantSynthetic = false;
};

bool Covers(FcPattern* match, int charset) {
    if (charset == 2) {
        FcCharSet* chars = nullptr;
        return FcPatternGetCharSet(match, FC_CHARSET, 0, &chars) == FcResultMatch &&
               FcCharSetHasChar(chars, 0xF041);
    }
    const char* lang = LanguageOf(charset);
    if (lang == nullptr) return true;
    FcLangSet* langs = nullptr;
    if (FcPatternGetLangSet(match, FC_LANG, 0, &langs) != FcResultMatch) return false;
    return FcLangSetHasLang(langs, reinterpret_cast<const FcChar8*>(lang)) != FcLangDifferentLang;
}

std::unique_ptr<PlatformFont> FtCreate(const FontRequest& r) {
    std::lock_guard<std::mutex> hold(g_freeTypeLock);
    if (g_library == nullptr) {
        if (FT_Init_FreeType(&g_library) != 0) return nullptr;
        // fontconfig's configuration lives until it is asked to let go.
        std::atexit([] { FcFini(); });
    }
    FcPattern* pattern = FcPatternCreate();
    if (pattern == nullptr) return nullptr;
    if (!r.face.empty())
        FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(r.face.c_str()));
    FcPatternAddInteger(pattern, FC_WEIGHT, r.weight >= 600 ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pattern, FC_SLANT, r.italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    if (const char* lang = LanguageOf(r.charset))
        FcPatternAddString(pattern, FC_LANG, reinterpret_cast<const FcChar8*>(lang));
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    FcPatternDestroy(pattern);
    if (match == nullptr) return nullptr;
    std::unique_ptr<PlatformFont> made;
    FcChar8* file = nullptr;
    int index = 0, weight = 0, slant = 0;
    if (Covers(match, r.charset) && FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch) {
        FcPatternGetInteger(match, FC_INDEX, 0, &index);
        FcPatternGetInteger(match, FC_WEIGHT, 0, &weight);
        FcPatternGetInteger(match, FC_SLANT, 0, &slant);
        FT_Face face = nullptr;
        if (FT_New_Face(g_library, reinterpret_cast<const char*>(file), index, &face) == 0) {
            // The height is the cell: ascent plus descent, as the product's fonts are sized.
            FT_Size_RequestRec size{FT_SIZE_REQUEST_TYPE_REAL_DIM, 0, r.height * 64, 0, 0};
            if (FT_Request_Size(face, &size) == 0) {
                auto font = std::make_unique<FreeTypeFont>();
                font->face = face;
                font->request = r;
                font->emboldenSynthetic = r.weight >= 600 && weight < FC_WEIGHT_BOLD;
                font->slantSynthetic = r.italic && slant == FC_SLANT_ROMAN;
                made = std::move(font);
            } else {
                FT_Done_Face(face);
            }
        }
    }
    FcPatternDestroy(match);
    return made;
}

bool FtMetrics(PlatformFont& pf, TextMetrics* out) {
    auto& f = static_cast<FreeTypeFont&>(pf);
    std::lock_guard<std::mutex> hold(g_freeTypeLock);
    const FT_Size_Metrics& m = f.face->size->metrics;
    out->ascent = static_cast<int>((m.ascender + 63) >> 6);
    out->height = out->ascent + static_cast<int>((-m.descender + 63) >> 6);
    return out->height > 0;
}

// Loads the character's glyph into the face's slot, made bold or slanted when the face is not.
bool LoadGlyph(FreeTypeFont& f, uint32_t codePoint) {
    FT_Int32 flags = FT_LOAD_DEFAULT | FT_LOAD_NO_BITMAP;
    if (!f.request.antialias) flags |= FT_LOAD_TARGET_MONO;
    if (FT_Load_Char(f.face, codePoint, flags) != 0) return false;
    FT_GlyphSlot slot = f.face->glyph;
    if (slot->format == FT_GLYPH_FORMAT_OUTLINE) {
        if (f.emboldenSynthetic)
            FT_Outline_Embolden(&slot->outline, f.face->size->metrics.y_ppem * 2);
        if (f.slantSynthetic) {
            FT_Matrix shear{0x10000, 0x0366A, 0, 0x10000};
            FT_Outline_Transform(&slot->outline, &shear);
        }
    }
    return true;
}

bool FtAbc(PlatformFont& pf, uint32_t codePoint, AbcWidths* out) {
    auto& f = static_cast<FreeTypeFont&>(pf);
    std::lock_guard<std::mutex> hold(g_freeTypeLock);
    if (!LoadGlyph(f, codePoint)) return false;
    FT_GlyphSlot slot = f.face->glyph;
    const int advance = static_cast<int>((slot->advance.x + 32) >> 6);
    FT_BBox box;
    FT_Outline_Get_CBox(&slot->outline, &box);
    const int left = static_cast<int>(box.xMin >> 6);
    const int right = static_cast<int>((box.xMax + 63) >> 6);
    if (right <= left) {  // nothing drawn (a space): all of it is the glyph's own width
        *out = {0, advance, 0};
        return true;
    }
    out->a = left;
    out->b = right - left;
    out->c = advance - out->a - out->b;
    return true;
}

bool FtDraw(PlatformFont& pf, uint32_t codePoint, int width, int height, uint32_t* pixels) {
    auto& f = static_cast<FreeTypeFont&>(pf);
    std::lock_guard<std::mutex> hold(g_freeTypeLock);
    if (!LoadGlyph(f, codePoint)) return false;
    FT_GlyphSlot slot = f.face->glyph;
    if (FT_Render_Glyph(slot, f.request.antialias ? FT_RENDER_MODE_NORMAL : FT_RENDER_MODE_MONO) !=
        0)
        return false;
    const int ascent = static_cast<int>((f.face->size->metrics.ascender + 63) >> 6);
    auto plot = [&](int x, int y, uint32_t grey) {
        if (x < 0 || y < 0 || x >= width || y >= height || grey == 0) return;
        uint32_t& p = pixels[size_t(y) * size_t(width) + size_t(x)];
        const uint32_t old = p & 0xFF;
        if (grey > old) p = grey | grey << 8 | grey << 16;
    };
    const FT_Bitmap& bm = slot->bitmap;
    for (unsigned row = 0; row < bm.rows; ++row) {
        const uint8_t* line = bm.buffer + static_cast<ptrdiff_t>(row) * bm.pitch;
        for (unsigned col = 0; col < bm.width; ++col) {
            uint32_t grey;
            if (bm.pixel_mode == FT_PIXEL_MODE_MONO)
                grey = (line[col >> 3] & (0x80 >> (col & 7))) ? 255 : 0;
            else
                grey = line[col];
            plot(slot->bitmap_left + static_cast<int>(col),
                 ascent - slot->bitmap_top + static_cast<int>(row), grey);
        }
    }
    // Underline and strike-out run across the whole cell, so that they join.
    const FT_Fixed scale = f.face->size->metrics.y_scale;
    auto bar = [&](int y, int thickness) {
        for (int t = 0; t < std::max(thickness, 1); ++t)
            for (int x = 0; x < width; ++x)
                plot(x, y + t, 255);
    };
    const int thickness =
        static_cast<int>((FT_MulFix(f.face->underline_thickness, scale) + 32) >> 6);
    if (f.request.underline)
        bar(ascent - static_cast<int>(FT_MulFix(f.face->underline_position, scale) >> 6),
            thickness);
    if (f.request.strikeOut) bar(ascent - ascent / 3, thickness);
    return true;
}

std::mutex g_slotsLock;
FontFunctions g_slots{};
bool g_slotsBound = false;

std::mutex g_nextIdLock;
uint32_t g_nextId = 0;

}  // namespace

int CharsetFromName(std::string_view name) {
    for (const CharsetName& c : kCharsets) {
        if (name.size() != std::strlen(c.name)) continue;
        bool same = true;
        for (size_t i = 0; i < name.size() && same; ++i)
            same = std::tolower(static_cast<unsigned char>(name[i])) == c.name[i];
        if (same) return c.value;
    }
    return kDefaultCharset;
}

FontFunctions FreeTypeFontFunctions() {
    return {FtCreate, FtMetrics, FtAbc, FtDraw};
}

const FontFunctions& GetFontFunctions() {
    std::lock_guard<std::mutex> hold(g_slotsLock);
    if (!g_slotsBound) {
        g_slots = FreeTypeFontFunctions();
        g_slotsBound = true;
    }
    return g_slots;
}

void SetFontFunctions(const FontFunctions& functions) {
    std::lock_guard<std::mutex> hold(g_slotsLock);
    g_slots = functions;
    g_slotsBound = true;
}

std::vector<uint32_t> DecodeUtf8(std::string_view text) {
    std::vector<uint32_t> out;
    out.reserve(text.size());
    const auto* p = reinterpret_cast<const uint8_t*>(text.data());
    const size_t n = text.size();
    for (size_t i = 0; i < n;) {
        const uint8_t b = p[i];
        int len = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
        uint32_t cp = len == 1 ? b : len == 2 ? b & 0x1F : len == 3 ? b & 0x0F : b & 0x07;
        bool ok = len != 0 && i + static_cast<size_t>(len) <= n;
        for (int k = 1; ok && k < len; ++k) {
            ok = (p[i + static_cast<size_t>(k)] & 0xC0) == 0x80;
            cp = cp << 6 | (p[i + static_cast<size_t>(k)] & 0x3F);
        }
        // Over-long forms, surrogates and values past U+10FFFF are not characters.
        static constexpr uint32_t kMin[5] = {0, 0, 0x80, 0x800, 0x10000};
        if (ok && (cp < kMin[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))) ok = false;
        if (!ok) {
            out.push_back(0xFFFD);
            ++i;
            continue;
        }
        out.push_back(cp);
        i += static_cast<size_t>(len);
    }
    return out;
}

TTFont::TTFont() {
    std::lock_guard<std::mutex> hold(g_nextIdLock);
    id_ = g_nextId++;
}

TTFont::~TTFont() = default;

bool TTFont::Init(std::string_view face, int height, uint32_t style, std::string_view charsetName) {
    font_.reset();
    advances_.clear();
    requestedHeight_ = height;
    style_ = style;
    charset_ = CharsetFromName(charsetName);
    const std::string faceText(face.substr(0, 256));
    if (height < kMinFontHeight || height > kMaxFontHeight) return false;
    const FontFunctions& fn = GetFontFunctions();
    FontRequest request;
    request.height = height;
    request.weight = (style & kStyleBold) ? 700 : 400;
    request.italic = (style & kStyleItalic) != 0;
    request.underline = (style & kStyleUnderline) != 0;
    request.strikeOut = (style & kStyleStrikeOut) != 0;
    request.antialias = (style & kStyleAntialias) != 0;
    request.charset = charset_;
    request.face = faceText;
    for (;;) {
        font_ = fn.createFont(request);
        if (font_ != nullptr) break;
        FontLog().Printf("TTFont::Init> '%s' CreateFontW failed", faceText.c_str());
        if (request.charset == kDefaultCharset) {
            FontLog().Printf("TTFont::Init> '%s' failed retry", faceText.c_str());
            return false;
        }
        FontLog().Printf("TTFont::Init> '%s' retrying with DEFAULT_CHARSET", faceText.c_str());
        request.charset = kDefaultCharset;
    }
    TextMetrics metrics;
    if (!fn.getMetrics(*font_, &metrics)) {
        FontLog().Printf("TTFont::Init> '%s' GetTextMetricsW failed", faceText.c_str());
        font_.reset();
        return false;
    }
    height_ = metrics.height;
    ascent_ = metrics.ascent;
    shadow_ = (style & kStyleShadow) ? 1 : 0;
    height_ += shadow_;
    spaceAdvance_ = Advance(' ');
    return true;
}

bool TTFont::ReadAbc(uint32_t codePoint, AbcWidths* out) {
    if (font_ == nullptr || !GetFontFunctions().getAbcWidths(*font_, codePoint, out)) return false;
    if (style_ & (kStyleUnderline | kStyleStrikeOut)) {
        out->b = out->a + out->b + out->c;
        out->a = out->c = 0;
    }
    if (style_ & kStyleItalic) {
        out->b += 1;
        out->c -= 1;
    }
    out->c += extraSpacing_;
    return true;
}

int TTFont::Advance(uint32_t codePoint) {
    if (codePoint < 32 && codePoint != '\t') return 0;
    auto it = advances_.find(codePoint);
    if (it != advances_.end()) return it->second;
    AbcWidths abc;
    if (!ReadAbc(codePoint, &abc)) return 0;
    const int width = abc.a + abc.b + abc.c;
    advances_.emplace(codePoint, width);
    return width;
}

int TTFont::MeasureText(std::string_view utf8) {
    int width = 0;
    for (uint32_t cp : DecodeUtf8(utf8))
        width += Advance(cp);
    return width;
}

uint32_t TTFont::GlyphCodePoint(uint32_t cp) {
    if ((cp < 32 && cp != '\t') || cp > 0x10FFFF) return 0;
    if (cp < 0x10000 && (cp == '\t' || cp == 0x85 || cp == 0xA0 || cp == 0x1680 ||
                         (cp >= 0x2000 && cp <= 0x200A) || cp == 0x2028 || cp == 0x2029 ||
                         cp == 0x202F || cp == 0x205F || cp == 0x3000 || cp == 0x7F))
        return ' ';
    if (cp == 0x2019) return '\'';
    return cp;
}

bool TTFont::RenderGlyph(uint32_t codePoint, int width, int height, std::vector<uint32_t>& pixels) {
    if (font_ == nullptr || width < 1 || height < 1) return false;
    std::vector<uint32_t> drawn(size_t(width) * size_t(height), 0);
    AbcWidths abc;
    if (!ReadAbc(codePoint, &abc) ||
        !GetFontFunctions().drawChar(*font_, codePoint, width, height, drawn.data()))
        return false;
    pixels.assign(drawn.size(), 0);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const uint32_t d = drawn[size_t(y) * size_t(width) + size_t(x)] & 0xFFFFFF;
            uint32_t& out = pixels[size_t(y) * size_t(width) + size_t(x)];
            if (d != 0) {
                out = 0xFF000000u | d;
            } else if (shadow_ && x > 0 && y > 0) {
                const uint32_t n = drawn[size_t(y - 1) * size_t(width) + size_t(x - 1)] & 0xFF;
                if (n != 0) out = n << 24;  // black, the neighbour's coverage as alpha
            }
        }
    }
    return true;
}

namespace {

std::mutex g_cacheLock;
std::map<FontDescription, std::unique_ptr<TTFont>>& Cache() {
    static auto* cache = new std::map<FontDescription, std::unique_ptr<TTFont>>();
    return *cache;
}

}  // namespace

TTFont* FindFont(const FontDescription& d) {
    std::lock_guard<std::mutex> hold(g_cacheLock);
    auto it = Cache().find(d);
    if (it != Cache().end()) return it->second.get();
    auto font = std::make_unique<TTFont>();
    uint32_t style =
        (d.bold ? uint32_t{kStyleBold} : 0u) | (d.italic ? uint32_t{kStyleItalic} : 0u) |
        (d.underline ? uint32_t{kStyleUnderline} : 0u) |
        (d.strikeOut ? uint32_t{kStyleStrikeOut} : 0u) | (d.shadow ? uint32_t{kStyleShadow} : 0u) |
        (d.antialias ? uint32_t{kStyleAntialias} : 0u);
    if (!font->Init(d.face, d.height, style, d.charset)) return nullptr;
    TTFont* raw = font.get();
    Cache().emplace(d, std::move(font));
    return raw;
}

void ClearFontCache() {
    std::lock_guard<std::mutex> hold(g_cacheLock);
    Cache().clear();
}

}  // namespace ScriptImage
