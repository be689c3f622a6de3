#include "solve/Cfitsio.h"

#include <QLibrary>
#include <mutex>

namespace Pelindra::Solve::Fits {

namespace {

template <typename F>
bool Resolve(QLibrary& library, const char* name, F& function) {
    function = reinterpret_cast<F>(library.resolve(name));
    return function != nullptr;
}

Functions functions{};

}  // namespace

const Functions& Loaded() {
    return functions;
}

const Functions* Load(std::string& why) {
    static std::string failure;
    static bool loaded = false;
    static std::once_flag once;
    std::call_once(once, [] {
        // The name the build was linked against, then any the system may have instead.
        QLibrary library(QStringLiteral(PELINDRA_CFITSIO_SONAME));
        if (!library.load()) {
            library.setFileName("cfitsio");
            if (!library.load()) {
                failure = "the FITS library cfitsio (" + std::string(PELINDRA_CFITSIO_SONAME) +
                          ") cannot be loaded: " + library.errorString().toStdString();
                return;
            }
        }
        // Kept for the program's life: the functions are called until it ends.
        const bool all = Resolve(library, "ffdkopn", functions.openDiskFile) &&
                         Resolve(library, "ffdkinit", functions.createDiskFile) &&
                         Resolve(library, "ffclos", functions.closeFile) &&
                         Resolve(library, "ffgerr", functions.errorText) &&
                         Resolve(library, "ffgkey", functions.readKeyword) &&
                         Resolve(library, "ffgky", functions.readKey) &&
                         Resolve(library, "ffgipr", functions.imageParameters) &&
                         Resolve(library, "ffgpv", functions.readImage) &&
                         Resolve(library, "ffcrim", functions.createImage) &&
                         Resolve(library, "ffppr", functions.writeImage);
        if (!all) {
            failure = "the FITS library " + library.fileName().toStdString() +
                      " lacks a function Pelindra needs: " + library.errorString().toStdString();
            return;
        }
        loaded = true;
    });
    if (!loaded) {
        why = failure;
        return nullptr;
    }
    return &functions;
}

std::string Reason(const Functions& fits, int status) {
    char text[FLEN_STATUS] = {};
    fits.errorText(status, text);
    return text;
}

}  // namespace Pelindra::Solve::Fits
