#include "core/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <random>

namespace Pelindra::Core {

namespace {

std::string Reason(int error) {
    return std::strerror(error);
}

std::string Folder(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string BaseName(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The file a link finally points to, so the link itself survives the replacement.
std::string Resolved(const std::string& path) {
    struct stat link {};
    if (lstat(path.c_str(), &link) != 0 || !S_ISLNK(link.st_mode)) return path;
    char* real = realpath(path.c_str(), nullptr);
    if (!real) return path;
    std::string resolved = real;
    std::free(real);
    return resolved;
}

// A new hidden file beside the target, created exclusively so nothing else is reused.
int CreateTemporary(const std::string& target, std::string& name) {
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = Folder(target) + "/." + BaseName(target) + "." + std::to_string(random() % 1000000);
        const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    errno = EEXIST;
    return -1;
}

}  // namespace

std::optional<std::string> WriteAllTo(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return Reason(errno);
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return std::nullopt;
}

std::optional<std::string> WriteFileAtomically(const std::string& path, std::string_view bytes) {
    if (path.empty()) return Reason(ENOENT);
    const std::string target = Resolved(path);
    struct stat existing {};
    const bool exists = stat(target.c_str(), &existing) == 0;
    if (exists && S_ISDIR(existing.st_mode)) return Reason(EISDIR);
    // A pipe would block the write until someone reads it, a device would take the bytes
    // somewhere else: neither is a file to save to.
    if (exists && !S_ISREG(existing.st_mode)) return std::string("it is not a regular file");
    // A file the user may not change is not replaced behind its back, even where the
    // folder would allow it.
    if (exists && access(target.c_str(), W_OK) != 0) return Reason(errno);

    std::string temporary;
    const int fd = CreateTemporary(target, temporary);
    if (fd < 0) return Reason(errno);
    // The replacement keeps the permissions and, where allowed (only root may give a file
    // away), the owner of the old file; neither is worth failing the write for.
    if (exists) {
        if (fchown(fd, existing.st_uid, existing.st_gid) != 0) errno = 0;
        if (fchmod(fd, existing.st_mode & 07777) != 0) errno = 0;
    }
    std::optional<std::string> error = WriteAllTo(fd, bytes);
    if (!error && fsync(fd) != 0) error = Reason(errno);
    if (close(fd) != 0 && !error) error = Reason(errno);
    if (!error && rename(temporary.c_str(), target.c_str()) != 0) error = Reason(errno);
    if (error) {
        unlink(temporary.c_str());
        return error;
    }
    // The new name is on disk only once its folder is; a folder that cannot be synced
    // (some network file systems) has still taken the new file.
    const int folder = open(Folder(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        fsync(folder);
        close(folder);
    }
    return std::nullopt;
}

}  // namespace Pelindra::Core
