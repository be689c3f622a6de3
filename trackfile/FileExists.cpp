#include "trackfile/FileExists.h"

#include <QFileInfo>

namespace Functions {

bool FileExists(const std::string& name) {
    if (name.empty()) return false;
    const QFileInfo info(QString::fromStdString(name));
    return info.exists() && !info.isDir();
}

}  // namespace Functions
