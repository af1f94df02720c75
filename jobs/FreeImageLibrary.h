#pragma once

// FreeImage writes the files of an extraction, and nothing else needs it: a conversion never
// does. So the program does not link it (with the twenty or so libraries it pulls in, it was
// most of the start-up of every run): the library is loaded the first time something asks for
// it, and FreeImage.h serves here only for its types and constants.

#include <FreeImage.h>

#include <memory>
#include <optional>
#include <string>

// The FreeImage functions this program calls.
struct FreeImageApi {
    decltype(&FreeImage_AcquireMemory) AcquireMemory;
    decltype(&FreeImage_CloseMemory) CloseMemory;
    decltype(&FreeImage_ConvertFromRawBitsEx) ConvertFromRawBitsEx;
    decltype(&FreeImage_ConvertTo32Bits) ConvertTo32Bits;
    decltype(&FreeImage_GetScanLine) GetScanLine;
    decltype(&FreeImage_OpenMemory) OpenMemory;
    decltype(&FreeImage_SaveToMemory) SaveToMemory;
    decltype(&FreeImage_SetDotsPerMeterX) SetDotsPerMeterX;
    decltype(&FreeImage_SetDotsPerMeterY) SetDotsPerMeterY;
    decltype(&FreeImage_Unload) Unload;
};

// FreeImage's functions, from the system's libfreeimage.so.3, loaded on the first call (from
// any thread) and kept until the program ends. Null when it cannot be loaded; error, when
// given, then says why.
const FreeImageApi* LoadFreeImage(std::string* error = nullptr);

// Loads the shared library file (a name as dlopen takes it) and resolves every function of
// FreeImageApi in it. None, with the cause in error, when it cannot be loaded or lacks one of
// them.
std::optional<FreeImageApi> OpenFreeImage(const char* file, std::string& error);

// FreeImage images and memory streams, released when their owner goes.
struct FreeImageRelease {
    void operator()(FIBITMAP* image) const { LoadFreeImage()->Unload(image); }
    void operator()(FIMEMORY* stream) const { LoadFreeImage()->CloseMemory(stream); }
};
using FreeImageBitmap = std::unique_ptr<FIBITMAP, FreeImageRelease>;
using FreeImageMemory = std::unique_ptr<FIMEMORY, FreeImageRelease>;
