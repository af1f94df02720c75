#include "cli/Ruffle.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <system_error>

#include "base/AtomicFile.h"

namespace fs = std::filesystem;

namespace {

// Ruffle's script, which finds the other files beside itself.
constexpr const char* kRuffleScript = "ruffle.js";

fs::path ShippedFolder() {
    if (const char* folder = std::getenv("QUORVEL_RUFFLE_DIR"); folder && *folder) return folder;
    std::error_code ec;
    const fs::path program = fs::read_symlink("/proc/self/exe", ec);
    return program.parent_path().parent_path() / "share" / "quorvel" / "ruffle";
}

}  // namespace

RuffleBuild FindRuffle() {
    RuffleBuild ruffle;
    ruffle.folder = ShippedFolder();
    std::error_code ec;
    if (!fs::is_regular_file(ruffle.folder / kRuffleScript, ec)) {
        ruffle.error = "Ruffle's web build is missing (no " + std::string(kRuffleScript) + " in " +
                       ruffle.folder.string() +
                       "): this quorvel was built without it. Run scripts/setup-deps, then "
                       "build and install quorvel again, or set QUORVEL_RUFFLE_DIR to a folder "
                       "that holds Ruffle's self-hosted web build";
        return ruffle;
    }
    for (const fs::directory_entry& entry : fs::directory_iterator(ruffle.folder, ec)) {
        const std::string name = entry.path().filename().string();
        if (entry.is_regular_file(ec) && !name.ends_with(".map")) ruffle.files.push_back(name);
    }
    std::sort(ruffle.files.begin(), ruffle.files.end());
    return ruffle;
}

std::string CopyRuffle(const RuffleBuild& ruffle, const fs::path& to, bool keepExisting,
                       std::vector<std::string>& written) {
    std::error_code ec;
    if (fs::is_symlink(to, ec)) return to.string() + " is a symbolic link; not written through";
    fs::create_directories(to, ec);
    if (ec) return "cannot create " + to.string() + ": " + ec.message();
    for (const std::string& name : ruffle.files) {
        const fs::path target = to / name;
        if (keepExisting && fs::exists(target, ec)) continue;
        std::ifstream in(ruffle.folder / name, std::ios::binary);
        if (!in) return "cannot read " + (ruffle.folder / name).string();
        const std::string bytes{std::istreambuf_iterator<char>(in), {}};
        const int error = WriteFileAtomically(
            target, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
        if (error != 0) return "cannot write " + target.string() + ": " + ErrorText(error);
        written.push_back(target.string());
    }
    return {};
}
