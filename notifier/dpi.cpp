// The display's scale. The program declares itself DPI-aware in its manifest,
// so Windows no longer stretches its window into a blur: what it draws and
// measures in pixels of its own is scaled here instead. At 96 DPI every value
// is the one it always was.
#include "notifier/window.h"

#include <string.h>

enum {
    BASE_DPI = 96,
    // The system font at 96 DPI: 16 pixels tall, 7 wide on average. The
    // header list keeps its proportion to the display.
    SYSTEM_FONT_HEIGHT = 16,
    SYSTEM_FONT_WIDTH = 7,
};

static int displayDpi(void)
{
    return win.dpi > 0 ? win.dpi : BASE_DPI;
}

int toDisplay(int value)
{
    return MulDiv(value, displayDpi(), BASE_DPI);
}

int toStored(int value)
{
    return MulDiv(value, BASE_DPI, displayDpi());
}

// The stock system font may already suit the display; platforms differ (one
// keeps the bitmap font of 96 DPI, Wine makes it taller but not wider). Only
// where it falls short the list gets a font of its own, of the same kind,
// scaled both ways.
static HFONT headerFontFor(HDC ic)
{
    if (!ic || displayDpi() <= BASE_DPI)
        return NULL;
    TEXTMETRICA metrics;
    int height = toDisplay(SYSTEM_FONT_HEIGHT), width = toDisplay(SYSTEM_FONT_WIDTH);
    if (GetTextMetricsA(ic, &metrics) && metrics.tmHeight >= height && metrics.tmAveCharWidth >= width)
        return NULL;
    LOGFONTA font;
    memset(&font, 0, sizeof font);
    if (!GetObjectA(GetStockObject(SYSTEM_FONT), sizeof font, &font))
        font.lfWeight = FW_BOLD;
    font.lfHeight = height;
    font.lfWidth = width;
    // A bitmap font cannot grow: a scalable one of the same weight and pitch.
    font.lfOutPrecision = OUT_TT_PRECIS;
    return CreateFontIndirectA(&font);
}

void releaseHeaderFont(void)
{
    if (win.headerFont)
        DeleteObject(win.headerFont);
    win.headerFont = NULL;
}

void readDisplayScale(HDC ic)
{
    win.dpi = ic ? GetDeviceCaps(ic, LOGPIXELSY) : BASE_DPI;
    if (win.dpi <= 0)
        win.dpi = BASE_DPI;
    releaseHeaderFont();
    win.headerFont = headerFontFor(ic);
}
