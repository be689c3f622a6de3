#pragma once

// cfitsio, loaded the first time a frame is read or written rather than when a program
// starts: Debian builds it with curl, which brings TLS, Kerberos and LDAP along, some thirty
// libraries that neither the window nor pelindra-track should pay for at every start.
// Only the types and constants of its header are used directly.
#include <fitsio.h>

#include <optional>
#include <string>

namespace Pelindra::Solve::Fits {

struct Functions {
    decltype(&ffdkopn) openDiskFile;
    decltype(&ffdkinit) createDiskFile;
    decltype(&ffclos) closeFile;
    decltype(&ffgerr) errorText;
    decltype(&ffgkey) readKeyword;
    decltype(&ffgky) readKey;
    decltype(&ffgipr) imageParameters;
    decltype(&ffgpv) readImage;
    decltype(&ffcrim) createImage;
    decltype(&ffppr) writeImage;
};

// The library's functions; nullopt, with the reason in `why`, when it cannot be loaded.
[[nodiscard]] const Functions* Load(std::string& why);

// The functions once Load() has succeeded.
[[nodiscard]] const Functions& Loaded();

// cfitsio's own words for a status it returned.
[[nodiscard]] std::string Reason(const Functions& fits, int status);

}  // namespace Pelindra::Solve::Fits
