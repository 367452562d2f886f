// TrueType fonts for script images. A font is made, measured and drawn through four
// process-wide function slots (create a font, read its metrics, read one character's ABC
// widths, draw one character); the slots are bound to FreeType with fontconfig on first use,
// and tests may bind their own. A font cache keeps one TTFont per distinct description.
//
// Character sets: each name of the table maps to a Windows character set number; the FreeType
// binding asks fontconfig for a face that covers the language of that set, and a face that does
// not cover it counts as a font that could not be created (the caller then retries with the
// default set, which asks for no language).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

namespace ScriptImage {

// Style bits of a font.
enum FontStyle : uint32_t {
    kStyleBold = 0x1,
    kStyleUnderline = 0x2,
    kStyleItalic = 0x4,
    kStyleStrikeOut = 0x20,
    kStyleShadow = 0x40,
    kStyleAntialias = 0x80,
};

inline constexpr int kDefaultCharset = 1;
// The Windows character set of a name (letter case ignored); 1 for an absent or unknown name.
int CharsetFromName(std::string_view name);

// What the create slot is asked for.
struct FontRequest {
    int height = 0;  // pixels, the cell height (ascent + descent)
    int weight = 400;
    bool italic = false, underline = false, strikeOut = false;
    int charset = kDefaultCharset;
    bool antialias = false;
    std::string face;  // empty: no face name
};

// One font made by the create slot; the other slots are handed it back.
class PlatformFont {
public:
    virtual ~PlatformFont() = default;
};

struct TextMetrics {
    int height = 0;
    int ascent = 0;
};

// A character's widths: a before the glyph, b the glyph, c after it (may be negative).
struct AbcWidths {
    int a = 0, b = 0, c = 0;
};

struct FontFunctions {
    std::unique_ptr<PlatformFont> (*createFont)(const FontRequest& request);
    bool (*getMetrics)(PlatformFont& font, TextMetrics* out);
    bool (*getAbcWidths)(PlatformFont& font, uint32_t codePoint, AbcWidths* out);
    // Draws the character white on black with its origin at (0, 0) top-left into a top-down
    // width x height bitmap of 0x00RRGGBB words (already zeroed); false when it cannot.
    bool (*drawChar)(PlatformFont& font, uint32_t codePoint, int width, int height,
                     uint32_t* pixels);
};

// The slots in use (bound to FreeType on first use). Binding replaces all four.
const FontFunctions& GetFontFunctions();
void SetFontFunctions(const FontFunctions& functions);
FontFunctions FreeTypeFontFunctions();

// The font heights a script may ask for; others make no font.
inline constexpr int kMinFontHeight = 1;
inline constexpr int kMaxFontHeight = 512;

class TTFont {
public:
    TTFont();
    ~TTFont();
    TTFont(const TTFont&) = delete;
    TTFont& operator=(const TTFont&) = delete;

    // Makes the font; see the log lines in tt_font.cpp. False leaves no font.
    bool Init(std::string_view face, int height, uint32_t style, std::string_view charsetName);

    // Width of a character in pixels: 0 for control characters other than tab.
    int Advance(uint32_t codePoint);
    // Sum of the advances of the UTF-8 text's characters.
    int MeasureText(std::string_view utf8);

    // The character actually drawn for a code point (white space as the space, U+2019 as the
    // apostrophe); 0 when the code point has no glyph (controls other than tab, above U+10FFFF).
    static uint32_t GlyphCodePoint(uint32_t codePoint);
    // Renders one character into `pixels` (width x height, 32-bit, top-down, atlas format:
    // bytes blue, green, red, alpha): drawn pixels opaque with their grey, and with the shadow
    // bit the shadow below right. False when the character cannot be drawn.
    bool RenderGlyph(uint32_t codePoint, int width, int height, std::vector<uint32_t>& pixels);

    uint32_t GetId() const { return id_; }
    int GetHeight() const { return height_; }
    int GetAscent() const { return ascent_; }
    int GetShadow() const { return shadow_; }
    int GetCharset() const { return charset_; }
    uint32_t GetStyle() const { return style_; }

private:
    bool ReadAbc(uint32_t codePoint, AbcWidths* out);

    uint32_t id_;
    std::unique_ptr<PlatformFont> font_;
    std::map<uint32_t, int> advances_;
    int height_ = 0, ascent_ = 0, shadow_ = 0, spaceAdvance_ = 0, extraSpacing_ = 0;
    int requestedHeight_ = 0, charset_ = kDefaultCharset;
    uint32_t style_ = 0;
};

struct FontDescription {
    bool bold = false, italic = false, underline = false, strikeOut = false, shadow = false,
         antialias = false;
    int height = 0;
    std::string charset, face;
    auto Key() const {
        return std::tie(bold, italic, underline, strikeOut, shadow, antialias, height, charset,
                        face);
    }
    bool operator<(const FontDescription& o) const { return Key() < o.Key(); }
};

// The process's font cache: the font of a description, made and cached when it can be.
TTFont* FindFont(const FontDescription& description);
// Drops every cached font (the atlas keeps its glyphs until it is cleared).
void ClearFontCache();

// Decodes UTF-8; a byte that starts no valid sequence reads as U+FFFD.
std::vector<uint32_t> DecodeUtf8(std::string_view text);

}  // namespace ScriptImage
