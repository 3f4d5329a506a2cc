// Display measurements taken on first use; see display_metrics.h.
#include "base/display_metrics.h"

#include "base/window_classes.h"

namespace {

void measure_system_font(EngineState* st) {
    HDC dc = CreateICA("DISPLAY", nullptr, nullptr, nullptr);
    if (!dc) return;
    HGDIOBJ old = SelectObject(dc, GetStockObject(SYSTEM_FIXED_FONT));
    GetTextMetricsA(dc, &st->system_font);
    SelectObject(dc, old);
    DeleteDC(dc);
}

}  // namespace

const TEXTMETRICA& system_font_metrics(EngineState* st) {
    if (st->system_font.tmHeight == 0) measure_system_font(st);
    return st->system_font;
}

int default_window_bottom(EngineState* st) {
    if (st->default_window_bottom == 0) st->default_window_bottom = measure_default_window_bottom();
    return st->default_window_bottom;
}

void forget_system_font(EngineState* st) { st->system_font.tmHeight = 0; }

void forget_default_window_bottom(EngineState* st) { st->default_window_bottom = 0; }
