#include "app/ConversionSettings.h"

ConvertOptions ConvertOptionsFrom(const ConversionSettings& settings) {
    ConvertOptions options;
    options.fps = settings.m_nFps;
    options.fpsGiven = settings.m_bFpsGiven;
    options.quality = settings.m_nQuality;
    options.targetUrl = settings.m_strTargetUrl;
    options.timing = settings.m_timing;
    options.loop = settings.m_loop;
    options.bitmaps = settings.m_bitmaps;
    options.changedAreas = settings.m_bChangedAreas;
    options.background = settings.m_background;
    options.transparent = settings.m_bTransparent;
    // The dialog's one box for the GIF's own timing shows it as browsers do.
    options.restoreToStage = settings.m_timing == Timing::Gif;
    return options;
}

ExtractOptions ExtractOptionsFrom(const ConversionSettings& settings) {
    ExtractOptions options;
    options.format = settings.m_nExtractFormat;
    options.background = settings.m_background;
    options.transparent = settings.m_bTransparent;
    options.likeGif = settings.m_timing == Timing::Gif;
    return options;
}
