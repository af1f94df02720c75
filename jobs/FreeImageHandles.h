#pragma once

#include <FreeImage.h>

#include <memory>

// FreeImage images and memory streams, released when their owner goes.
struct FreeImageRelease {
    void operator()(FIBITMAP* image) const { FreeImage_Unload(image); }
    void operator()(FIMEMORY* stream) const { FreeImage_CloseMemory(stream); }
};
using FreeImageBitmap = std::unique_ptr<FIBITMAP, FreeImageRelease>;
using FreeImageMemory = std::unique_ptr<FIMEMORY, FreeImageRelease>;
