#pragma once

// Small file systems and device nodes for the fault tests, mounted in a mount namespace of
// this test process alone, so nothing of the machine's own is ever touched. Mounting needs
// root, as CI runs the tests; elsewhere the cases that need it are skipped, saying why.
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <QByteArray>
#include <QString>
#include <cerrno>
#include <cstring>
#include <optional>

// Enters the private namespace (once); nullopt when done, otherwise why it cannot be.
inline std::optional<QString> EnterPrivateMounts() {
    static const std::optional<QString> refusal = []() -> std::optional<QString> {
        if (geteuid() != 0) return QString("not running as root");
        // Only this thread moves; the tests and the programs they start run on it.
        if (unshare(CLONE_NEWNS) != 0) return QString("unshare: ") + std::strerror(errno);
        if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
            return QString("making mounts private: ") + std::strerror(errno);
        }
        return std::nullopt;
    }();
    return refusal;
}

// A tmpfs of `bytes` mounted on the existing folder `dir` for as long as it lives.
class SmallDisk {
  public:
    SmallDisk(const QString& dir, qint64 bytes) : dir_(dir.toLocal8Bit()) {
        refusal_ = EnterPrivateMounts();
        if (refusal_) return;
        const QByteArray options = "size=" + QByteArray::number(bytes) + ",mode=0777";
        if (mount("tmpfs", dir_.constData(), "tmpfs", MS_NOSUID, options.constData()) != 0) {
            refusal_ = QString("mounting a tmpfs: ") + std::strerror(errno);
        }
    }
    ~SmallDisk() {
        if (!refusal_) umount2(dir_.constData(), MNT_DETACH);
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    // Why the disk could not be made; nullopt once it is mounted.
    const std::optional<QString>& refusal() const { return refusal_; }

    // Takes up all free space but `keep` bytes (rounded down to whole pages) with a file
    // named `name`; false if that could not be done.
    bool fillUpTo(const QString& name, qint64 keep) const {
        const QByteArray path = dir_ + "/" + name.toLocal8Bit();
        const int fd = open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0) return false;
        const QByteArray chunk(4096, 'f');
        off_t size = 0;
        while (write(fd, chunk.constData(), std::size_t(chunk.size())) == chunk.size())
            size += chunk.size();
        const bool full = errno == ENOSPC;
        const off_t freed = off_t(keep / chunk.size() * chunk.size());
        const bool trimmed = ftruncate(fd, size > freed ? size - freed : 0) == 0;
        close(fd);
        return full && trimmed;
    }

  private:
    QByteArray dir_;
    std::optional<QString> refusal_;
};

// A device node like /dev/full at `path`, which must lie on a SmallDisk: a fault test that
// went wrong could replace it, and then only its copy goes.
inline std::optional<QString> MakeFullDevice(const QString& path) {
    if (mknod(path.toLocal8Bit().constData(), S_IFCHR | 0666, makedev(1, 7)) != 0) {
        return QString("mknod: ") + std::strerror(errno);
    }
    return std::nullopt;
}
