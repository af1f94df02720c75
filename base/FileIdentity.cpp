#include "base/FileIdentity.h"

#include <sys/stat.h>

#include <string>
#include <system_error>

std::optional<FileIdentity> IdentityOf(const std::filesystem::path& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    return FileIdentity{st.st_dev, st.st_ino};
}

std::filesystem::path FindEntryThatIs(const std::filesystem::path& folder, FileIdentity file,
                                      const std::function<bool(std::string_view name)>& named) {
    std::error_code ec;
    std::filesystem::directory_iterator it(folder.empty() ? "." : folder, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (named(name) && IdentityOf(it->path()) == file) return it->path();
    }
    return {};
}
