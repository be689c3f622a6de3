#include "trackfile/FileExists.h"

#include <QFileInfo>

namespace Pelindra::TrackFile {

bool FileExists(const std::string& name) {
    if (name.empty()) return false;
    const QFileInfo info(QString::fromStdString(name));
    return info.exists() && !info.isDir();
}

}  // namespace Pelindra::TrackFile
