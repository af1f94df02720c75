#include "jobs/FreeImageLibrary.h"

#include <dlfcn.h>

namespace {

// FreeImage 3's soname; its constructor initialises the library when it is loaded.
constexpr const char* kFreeImageFile = "libfreeimage.so.3";

// Sets function to the symbol name of library; when it is missing, names it in missing (the
// first one only).
template <typename Function>
void Resolve(void* library, const char* name, Function& function, std::string& missing) {
    function = reinterpret_cast<Function>(dlsym(library, name));
    if (function == nullptr && missing.empty()) missing = name;
}

}  // namespace

std::optional<FreeImageApi> OpenFreeImage(const char* file, std::string& error) {
    void* library = dlopen(file, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char* cause = dlerror();
        error = std::string("FreeImage could not be loaded: ") + (cause ? cause : file);
        return std::nullopt;
    }
    FreeImageApi api{};
    std::string missing;
#define QUORVEL_RESOLVE(function) Resolve(library, "FreeImage_" #function, api.function, missing)
    QUORVEL_RESOLVE(AcquireMemory);
    QUORVEL_RESOLVE(CloseMemory);
    QUORVEL_RESOLVE(ConvertFromRawBitsEx);
    QUORVEL_RESOLVE(ConvertTo32Bits);
    QUORVEL_RESOLVE(GetScanLine);
    QUORVEL_RESOLVE(OpenMemory);
    QUORVEL_RESOLVE(SaveToMemory);
    QUORVEL_RESOLVE(SetDotsPerMeterX);
    QUORVEL_RESOLVE(SetDotsPerMeterY);
    QUORVEL_RESOLVE(Unload);
#undef QUORVEL_RESOLVE
    if (!missing.empty()) {
        dlclose(library);
        error = std::string("FreeImage could not be loaded: ") + file + " lacks " + missing;
        return std::nullopt;
    }
    return api;  // the library stays loaded for the functions' sake
}

const FreeImageApi* LoadFreeImage(std::string* error) {
    static std::string failure;
    static const std::optional<FreeImageApi> api = OpenFreeImage(kFreeImageFile, failure);
    if (!api && error != nullptr) *error = failure;
    return api ? &*api : nullptr;
}
