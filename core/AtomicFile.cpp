#include "core/AtomicFile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {

template <typename File>
std::optional<std::string> WriteAll(File& file, std::string_view bytes) {
    if (!file.open(QIODevice::WriteOnly)) return file.errorString().toStdString();
    const auto size = static_cast<qint64>(bytes.size());
    if (file.write(bytes.data(), size) != size) return file.errorString().toStdString();
    return std::nullopt;
}

}  // namespace

std::optional<std::string> WriteFileAtomically(const std::string& path, std::string_view bytes) {
    const QString name = QString::fromStdString(path);
    const QFileInfo target(name);
    if (target.exists() && !target.isDir() && !target.isFile()) {
        QFile device(name);
        if (auto error = WriteAll(device, bytes)) return error;
        if (!device.flush()) return device.errorString().toStdString();
        return std::nullopt;
    }
    QSaveFile file(name);
    if (auto error = WriteAll(file, bytes)) {
        file.cancelWriting();
        return error;
    }
    if (!file.commit()) return file.errorString().toStdString();
    return std::nullopt;
}
