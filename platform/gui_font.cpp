// Fonts: the process's own font and face aliases through fontconfig, fonts at a point size through
// pango, text measuring, and the painting of text controls.

#include "gui_internal.h"

#include <fontconfig/fontconfig.h>
#include <pango/pangocairo.h>
#include <pango/pangofc-font.h>
#include <pango/pangofc-fontmap.h>

#include <sys/mman.h>
#include <unistd.h>

#include <cmath>

namespace {

PangoContext *TextContext = nullptr;        // main thread
PangoFontDescription *SystemFont = nullptr; // main thread; the system's default for controls
std::vector<int> PrivateFontFiles;          // memfd files of registered fonts, open for the whole run

// The fontconfig configuration in use, pinned in pango's font map so that a later re-read of the
// system configuration cannot drop our aliases and private fonts from it.
FcConfig *UsedFontConfig() {
    FcConfig *cfg = FcConfigGetCurrent();
    PangoFontMap *map = pango_cairo_font_map_get_default();
    if (PANGO_IS_FC_FONT_MAP(map)) pango_fc_font_map_set_config(PANGO_FC_FONT_MAP(map), cfg);
    return cfg;
}

void FontsChanged() {
    PangoFontMap *map = pango_cairo_font_map_get_default();
    if (PANGO_IS_FC_FONT_MAP(map)) pango_fc_font_map_config_changed(PANGO_FC_FONT_MAP(map));
    if (TextContext) pango_context_changed(TextContext);
}

int ApplicationFontCount(FcConfig *cfg) {
    FcFontSet *set = FcConfigGetFonts(cfg, FcSetApplication);
    return set ? set->nfont : 0;
}

double ScreenDpi() {
    if (GuiOnMainThread()) {
        double dpi = gdk_screen_get_resolution(gdk_screen_get_default());
        if (dpi > 0) return dpi;
    }
    return 96.0;
}

int PointsToPixels(int points) {
    return int(std::lround(points * ScreenDpi() / 72.0));
}

} // namespace

PangoContext *GuiTextContext() {
    if (!TextContext) {
        TextContext = pango_font_map_create_context(pango_cairo_font_map_get_default());
        // The same rendering on every surface, so that measured widths are the drawn widths.
        cairo_font_options_t *opt = cairo_font_options_create();
        cairo_font_options_set_antialias(opt, CAIRO_ANTIALIAS_GRAY);
        cairo_font_options_set_hint_style(opt, CAIRO_HINT_STYLE_SLIGHT);
        cairo_font_options_set_hint_metrics(opt, CAIRO_HINT_METRICS_ON);
        pango_cairo_context_set_font_options(TextContext, opt);
        cairo_font_options_destroy(opt);
    }
    return TextContext;
}

const PangoFontDescription *GuiDefaultFontDescription() {
    if (!SystemFont) {
        SystemFont = pango_font_description_from_string("Sans");
        pango_font_description_set_absolute_size(SystemFont, PointsToPixels(9) * PANGO_SCALE);
    }
    return SystemFont;
}

const PangoFontDescription *GuiFontDescription(int font) {
    auto it = Gui.Fonts.find(font);
    return it == Gui.Fonts.end() ? GuiDefaultFontDescription() : it->second.Description;
}

PangoLayout *GuiMakeLayout(const PangoFontDescription *desc, const std::string &text) {
    PangoLayout *layout = pango_layout_new(GuiTextContext());
    pango_layout_set_font_description(layout, desc);
    pango_layout_set_text(layout, text.data(), int(text.size()));
    return layout;
}

void GuiPaintTextControl(cairo_t *cr, const GuiControl &c, uint32_t window_back) {
    cairo_save(cr);
    cairo_rectangle(cr, c.X, c.Y, c.Width, c.Height);
    cairo_clip(cr);
    SetSourceRgb(cr, c.Back >= 0 ? uint32_t(c.Back) : window_back);
    cairo_paint(cr);
    if (!c.Text.empty()) {
        pango_cairo_update_context(cr, GuiTextContext());
        PangoLayout *layout = GuiMakeLayout(c.Font ? c.Font : GuiDefaultFontDescription(), c.Text);
        pango_layout_set_width(layout, c.Width * PANGO_SCALE);
        pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
        if (c.Flags & TextCentered) pango_layout_set_alignment(layout, PANGO_ALIGN_CENTER);
        SetSourceRgb(cr, c.Front >= 0 ? uint32_t(c.Front) : 0);
        cairo_move_to(cr, c.X, c.Y);
        pango_cairo_show_layout(cr, layout);
        g_object_unref(layout);
    }
    cairo_restore(cr);
}

bool RegisterPrivateFont(const void *data, size_t size) {
    if (!data || size == 0) return false;
    int fd = memfd_create("private-font", MFD_CLOEXEC);
    if (fd < 0) return false;
    const char *p = static_cast<const char *>(data);
    for (size_t done = 0; done < size;) {
        ssize_t n = write(fd, p + done, size - done);
        if (n <= 0) {
            close(fd);
            return false;
        }
        done += size_t(n);
    }
    std::string path = "/proc/self/fd/" + std::to_string(fd);
    FcConfig *cfg = UsedFontConfig();
    int before = ApplicationFontCount(cfg);
    // fontconfig accepts a file that holds no face without complaint: count what it took.
    if (!FcConfigAppFontAddFile(cfg, reinterpret_cast<const FcChar8 *>(path.c_str())) ||
        ApplicationFontCount(cfg) == before) {
        close(fd);
        return false;
    }
    PrivateFontFiles.push_back(fd);
    FontsChanged();
    return true;
}

bool AddFontAliases(const std::string &calligraphy_family) {
    const std::pair<const char *, std::string> aliases[] = {
        {"Segoe UI", "Open Sans"},
        {"Segoe UI Light", "Open Sans Light"},
        {"Tahoma", "DejaVu Sans Condensed"},
        {"Lucida Calligraphy", calligraphy_family},
    };
    std::string xml = "<?xml version=\"1.0\"?>\n<!DOCTYPE fontconfig SYSTEM \"fonts.dtd\">\n<fontconfig>\n";
    for (const auto &[from, to] : aliases) {
        gchar *a = g_markup_escape_text(from, -1);
        gchar *b = g_markup_escape_text(to.c_str(), -1);
        // Strong binding: the stand-in wins over any family the system adds after the name.
        xml += std::string(
                   "<match target=\"pattern\"><test qual=\"any\" name=\"family\" compare=\"eq\"><string>") +
               a + "</string></test><edit name=\"family\" mode=\"prepend\" binding=\"strong\"><string>" + b +
               "</string></edit></match>\n";
        g_free(a);
        g_free(b);
    }
    xml += "</fontconfig>\n";
    FcConfig *cfg = UsedFontConfig();
    if (!FcConfigParseAndLoadFromMemory(cfg, reinterpret_cast<const FcChar8 *>(xml.c_str()), FcTrue))
        return false;
    FontsChanged();
    return true;
}

bool LoadFont(int font, const std::string &face, int points, uint32_t flags) {
    if (points <= 0 || face.empty()) return false;
    FreeFont(font);
    GuiFont &f = Gui.Fonts[font];
    f.Pixels = PointsToPixels(points);
    f.Description = pango_font_description_new();
    pango_font_description_set_family(f.Description, face.c_str());
    pango_font_description_set_absolute_size(f.Description, f.Pixels * PANGO_SCALE);
    pango_font_description_set_weight(f.Description,
                                      (flags & FontBold) ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
    pango_font_description_set_style(f.Description,
                                     (flags & FontItalic) ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
    return true;
}

void FreeFont(int font) {
    auto it = Gui.Fonts.find(font);
    if (it == Gui.Fonts.end()) return;
    pango_font_description_free(it->second.Description);
    Gui.Fonts.erase(it);
}

bool IsFont(int font) {
    return Gui.Fonts.count(font) != 0;
}

int FontPixelSize(int font) {
    auto it = Gui.Fonts.find(font);
    return it == Gui.Fonts.end() ? 0 : it->second.Pixels;
}

std::string FontResolvedName(int font) {
    if (!IsFont(font)) return {};
    PangoFont *pf = pango_font_map_load_font(pango_cairo_font_map_get_default(), GuiTextContext(),
                                             GuiFontDescription(font));
    std::string name;
    if (pf && PANGO_IS_FC_FONT(pf)) {
        FcPattern *pat = pango_fc_font_get_pattern(PANGO_FC_FONT(pf));
        FcChar8 *s = nullptr;
        if (FcPatternGetString(pat, FC_FULLNAME, 0, &s) == FcResultMatch ||
            FcPatternGetString(pat, FC_FAMILY, 0, &s) == FcResultMatch)
            name = reinterpret_cast<const char *>(s);
    }
    if (pf) g_object_unref(pf);
    return name;
}

void GuiFreeAllFonts() {
    for (auto &[n, f] : Gui.Fonts) pango_font_description_free(f.Description);
    Gui.Fonts.clear();
    if (SystemFont) pango_font_description_free(SystemFont);
    SystemFont = nullptr;
    if (TextContext) g_object_unref(TextContext);
    TextContext = nullptr;
}
