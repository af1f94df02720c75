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
    options.library = settings.m_library;
    options.compression = settings.m_compression;
    // Players run no actions in an ActionScript 3 movie: its symbols loop.
    if (options.library == LibraryKind::As3) options.loop = LoopOption{};
    // A library has no stage of its own to click.
    if (options.library != LibraryKind::None) options.targetUrl.clear();
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
