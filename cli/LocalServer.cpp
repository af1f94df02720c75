#include "cli/LocalServer.h"

#include <dlfcn.h>

#include <system_error>

namespace fs = std::filesystem;

namespace {

// The module's file: QUORVEL_SERVER_MODULE from the folder of the running program.
fs::path ModuleFile() {
    std::error_code ec;
    const fs::path program = fs::read_symlink("/proc/self/exe", ec);
    return (program.parent_path() / QUORVEL_SERVER_MODULE).lexically_normal();
}

LocalServer* OpenModule(std::string& error) {
    const fs::path file = ModuleFile();
    // Loaded for good: the server's threads run its code until the program ends.
    void* module = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
        const char* cause = dlerror();
        error = "the web server of quorvel play could not be loaded: " +
                std::string(cause ? cause : file.c_str()) +
                "; install quorvel again (cmake --install) to put it back";
        return nullptr;
    }
    const auto make =
        reinterpret_cast<MakeLocalServerFunction>(dlsym(module, kMakeLocalServerSymbol));
    if (make == nullptr) {
        error = "the web server of quorvel play could not be loaded: " + file.string() + " lacks " +
                kMakeLocalServerSymbol;
        return nullptr;
    }
    return make();
}

}  // namespace

LocalServer* LoadLocalServer(std::string& error) {
    static std::string failure;
    static LocalServer* const server = OpenModule(failure);
    if (server == nullptr) error = failure;
    return server;
}
