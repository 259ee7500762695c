#include "cli/open_archive.h"

#include "archive/format.h"
#include "cli/display_name.h"
#include "cli/password.h"

namespace vza::cli {

bool openArchive(const std::string& path, const Options& options, Console& console, Archive& archive)
{
    const std::string shown = displayName(path);
    const std::int32_t flags = archive.probeFlags(path);
    std::string password;
    if (flags != 255 && (flags & FlagEncrypted) != 0) {
        PasswordRequest request;
        request.passwordFile = options.passwordFile;
        request.prompt = "Password for " + shown + ": ";
        const PasswordResult result = obtainPassword(request);
        if (result.status == PasswordStatus::Missing) {
            console.error(shown + ": the archive is encrypted and no password was given; " + PasswordHint);
            return false;
        }
        if (result.status == PasswordStatus::Failed) {
            console.error(shown + ": " + result.error);
            return false;
        }
        password = result.password;
    }
    archive.reset();
    if (!archive.open(path, password)) {
        console.error(shown + ": " + errorText(archive.lastError()));
        archive.reset();
        return false;
    }
    return true;
}

}  // namespace vza::cli
