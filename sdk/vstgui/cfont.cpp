#include "vstgui/cfont.h"

#include "core/immortal.h"

#include <cairo-ft.h>
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <array>
#include <cstdio>
#include <string>

namespace VSTGUI {

CFontDesc::CFontDesc(const UTF8String& name, const CCoord& size, int32_t style)
    : name(name), size(size), style(style) {}

namespace {

// The stock descriptors are objects of static storage, so their addresses are
// usable by other files' static initialisers (tables of fonts filled at load
// time) whatever the order in which the files are initialised. Each holds its
// initial reference for the life of the process, so balanced remember/forget
// pairs never delete one, from whichever threads editors run on (the count is
// atomic). None is ever destroyed: a host may close an editor
// after the library's static objects are gone, and its controls then still
// let go of their fonts. The names fit in the strings themselves, so that
// unloading the library leaves nothing on the heap.
Immortal<CFontDesc> systemFont("Arial", 12);
Immortal<CFontDesc> normalFontVeryBig("Arial", 18);
Immortal<CFontDesc> normalFontBig("Arial", 14);
Immortal<CFontDesc> normalFont("Arial", 12);
Immortal<CFontDesc> normalFontSmall("Arial", 11);
Immortal<CFontDesc> normalFontSmaller("Arial", 10);
Immortal<CFontDesc> normalFontVerySmall("Arial", 9);
Immortal<CFontDesc> symbolFont("Arial", 12);

} // namespace

const CFontRef kSystemFont = &systemFont.object;
const CFontRef kNormalFontVeryBig = &normalFontVeryBig.object;
const CFontRef kNormalFontBig = &normalFontBig.object;
const CFontRef kNormalFont = &normalFont.object;
const CFontRef kNormalFontSmall = &normalFontSmall.object;
const CFontRef kNormalFontSmaller = &normalFontSmaller.object;
const CFontRef kNormalFontVerySmall = &normalFontVerySmall.object;
const CFontRef kSymbolFont = &symbolFont.object;

namespace {

// The font file of DejaVu Sans in one style: first where the usual Linux
// font packages put it, else wherever fontconfig finds it.
std::string fontFile(bool bold, bool italic, int& index) {
    static constexpr const char* kFolders[] = {
        "/usr/share/fonts/truetype/dejavu/", // Debian, Ubuntu
        "/usr/share/fonts/dejavu-sans-fonts/",
        "/usr/share/fonts/dejavu/",       // Fedora
        "/usr/share/fonts/TTF/",          // Arch
        "/usr/local/share/fonts/dejavu/", // BSDs
    };
    static constexpr const char* kNames[2][2] = {
        {"DejaVuSans.ttf", "DejaVuSans-Oblique.ttf"},
        {"DejaVuSans-Bold.ttf", "DejaVuSans-BoldOblique.ttf"}};
    const char* name = kNames[bold ? 1 : 0][italic ? 1 : 0];
    index = 0;
    for (const char* folder : kFolders) {
        std::string path = std::string(folder) + name;
        if (FILE* f = std::fopen(path.c_str(), "rb")) {
            std::fclose(f);
            return path;
        }
    }
    std::string file;
    std::string query = "DejaVu Sans";
    if (bold) query += ":bold";
    if (italic) query += ":oblique";
    if (FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>(query.c_str()))) {
        FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
        FcDefaultSubstitute(pattern);
        FcResult result = FcResultNoMatch;
        if (FcPattern* match = FcFontMatch(nullptr, pattern, &result)) {
            FcChar8* path = nullptr;
            if (FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch && path)
                file = reinterpret_cast<const char*>(path);
            FcPatternGetInteger(match, FC_INDEX, 0, &index);
            FcPatternDestroy(match);
        }
        FcPatternDestroy(pattern);
    }
    return file;
}

// Opened through FreeType: cairo's toy font API would keep font-matching
// patterns for the rest of the process.
cairo_font_face_t* openFace(FT_Library library, bool bold, bool italic) {
    int index = 0;
    const std::string file = fontFile(bold, italic, index);
    FT_Face face = nullptr;
    if (library && !file.empty() && FT_New_Face(library, file.c_str(), index, &face) == 0)
        return cairo_ft_font_face_create_for_ft_face(face, 0);
    return cairo_toy_font_face_create("sans-serif",
                                      italic ? CAIRO_FONT_SLANT_OBLIQUE : CAIRO_FONT_SLANT_NORMAL,
                                      bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
}

} // namespace

cairo_font_face_t* getCairoFontFace(int32_t style) {
    // Kept for the whole process: the FreeType faces must outlive cairo's
    // use of them.
    static const std::array<cairo_font_face_t*, 4> faces = [] {
        FT_Library library = nullptr;
        if (FT_Init_FreeType(&library) != 0) library = nullptr;
        return std::array<cairo_font_face_t*, 4>{
            openFace(library, false, false), openFace(library, false, true),
            openFace(library, true, false), openFace(library, true, true)};
    }();
    const int bold = (style & kBoldFace) ? 2 : 0;
    const int italic = (style & kItalicFace) ? 1 : 0;
    return faces[bold + italic];
}

} // namespace VSTGUI
