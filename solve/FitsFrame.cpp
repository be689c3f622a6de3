#include "solve/FitsFrame.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <cmath>
#include <limits>

#include "solve/Cfitsio.h"

namespace Pelindra::Solve {

namespace {

std::string FitsReason(int status) {
    return Fits::Reason(Fits::Loaded(), status);
}

// Closes the file however the reading ends.
class FitsFile {
  public:
    FitsFile() = default;
    FitsFile(const FitsFile&) = delete;
    FitsFile& operator=(const FitsFile&) = delete;
    ~FitsFile() {
        int status = 0;
        if (file_) Fits::Loaded().closeFile(file_, &status);
    }
    fitsfile** Address() { return &file_; }
    fitsfile* Get() const { return file_; }
    // The close of a written file is where its last bytes reach the disk: checked.
    int Close() {
        int status = 0;
        if (file_) Fits::Loaded().closeFile(file_, &status);
        file_ = nullptr;
        return status;
    }

  private:
    fitsfile* file_ = nullptr;
};

// A keyword's value as written in the header, quotes removed; nullopt when absent.
std::optional<std::string> KeywordText(fitsfile* file, const char* name) {
    char value[FLEN_VALUE] = {};
    int status = 0;
    if (Fits::Loaded().readKeyword(file, name, value, nullptr, &status) != 0) return std::nullopt;
    QString text = QString::fromLatin1(value).trimmed();
    if (text.size() >= 2 && text.startsWith('\'') && text.endsWith('\'')) {
        text = text.mid(1, text.size() - 2).replace("''", "'").trimmed();
    }
    if (text.isEmpty()) return std::nullopt;
    return text.toStdString();
}

std::optional<double> KeywordNumber(fitsfile* file, const char* name) {
    const auto text = KeywordText(file, name);
    if (!text) return std::nullopt;
    bool ok = false;
    const double value = QString::fromStdString(*text).toDouble(&ok);
    if (!ok || !std::isfinite(value)) return std::nullopt;
    return value;
}

// "12 34 56.7", "12:34:56.7" or "-05 23 10" as a number of hours or degrees, with
// `sexagesimal` set; a plain number as itself.
std::optional<double> Sexagesimal(const std::string& text, bool& sexagesimal) {
    QStringList parts = QString::fromStdString(text).split(QRegularExpression("[\\s:hdms°'\"]+"),
                                                           Qt::SkipEmptyParts);
    sexagesimal = parts.size() > 1;
    if (parts.isEmpty() || parts.size() > 3) return std::nullopt;
    const bool negative = parts.front().startsWith('-');
    double value = 0;
    double unit = 1;
    for (const QString& part : parts) {
        bool ok = false;
        const double number = std::fabs(part.toDouble(&ok));
        if (!ok || !std::isfinite(number)) return std::nullopt;
        value += number * unit;
        unit /= 60;
    }
    return negative ? -value : value;
}

std::optional<double> RightAscension(fitsfile* file, const char* name) {
    const auto text = KeywordText(file, name);
    if (!text) return std::nullopt;
    bool sexagesimal = false;
    auto value = Sexagesimal(*text, sexagesimal);
    // Sexagesimal text counts hours; a plain number, degrees.
    if (value && sexagesimal) *value *= 15;
    if (!value || *value < 0 || *value >= 360) return std::nullopt;
    return value;
}

std::optional<double> Declination(fitsfile* file, const char* name) {
    const auto text = KeywordText(file, name);
    if (!text) return std::nullopt;
    bool sexagesimal = false;
    const auto value = Sexagesimal(*text, sexagesimal);
    if (!value || std::fabs(*value) > 90) return std::nullopt;
    return value;
}

void ReadHints(fitsfile* file, Frame& frame) {
    if (const auto scale = KeywordNumber(file, "PIXSCALE"); scale && *scale > 0) {
        frame.arcsecPerPixel = scale;
    } else {
        const auto pixelMicrons = KeywordNumber(file, "XPIXSZ");
        const auto focalMm = KeywordNumber(file, "FOCALLEN");
        if (pixelMicrons && focalMm && *pixelMicrons > 0 && *focalMm > 0) {
            frame.arcsecPerPixel = 206.264806 * *pixelMicrons / *focalMm;
        }
    }
    frame.raDegrees = RightAscension(file, "RA");
    frame.decDegrees = Declination(file, "DEC");
    if (!frame.raDegrees || !frame.decDegrees) {
        frame.raDegrees = RightAscension(file, "OBJCTRA");
        frame.decDegrees = Declination(file, "OBJCTDEC");
    }
    if (!frame.raDegrees || !frame.decDegrees) frame.raDegrees = frame.decDegrees = std::nullopt;
    if (const auto side = KeywordText(file, "PIERSIDE")) {
        const QString name = QString::fromStdString(*side).toUpper();
        if (name == "EAST" || name == "PIEREAST") frame.pierSide = PierSide::East;
        if (name == "WEST" || name == "PIERWEST") frame.pierSide = PierSide::West;
    }
}

}  // namespace

std::variant<Frame, std::string> ReadFitsFrame(const std::string& path) {
    const std::string named = "\"" + path + "\"";
    const QFileInfo info(QString::fromStdString(path));
    // A pipe or a device would keep the reader waiting.
    if (!info.exists()) return named + " does not exist.";
    if (!info.isFile()) return named + " is not a file.";

    std::string why;
    if (!Fits::Load(why)) return named + " cannot be read: " + why + ".";
    FitsFile file;
    int status = 0;
    // The disk-file form reads the name as it is, without cfitsio's filters and URLs.
    if (Fits::Loaded().openDiskFile(file.Address(), path.c_str(), READONLY, &status) != 0) {
        return named + " is not a FITS file that can be read: " + FitsReason(status) + ".";
    }
    int bitpix = 0;
    int axes = 0;
    long size[3] = {0, 0, 0};
    if (Fits::Loaded().imageParameters(file.Get(), 3, &bitpix, &axes, size, &status) != 0) {
        return named + " holds no image that can be read: " + FitsReason(status) + ".";
    }
    if (axes != 2 && axes != 3) {
        return named + " holds an image of " + std::to_string(axes) +
               " dimensions; a guide frame has two, or is the first plane of a cube.";
    }
    if (bitpix != SHORT_IMG && bitpix != FLOAT_IMG) {
        return named + " holds " +
               (bitpix > 0 ? std::to_string(bitpix) + "-bit integers"
                           : std::to_string(-bitpix) + "-bit floating-point numbers") +
               "; a guide frame of 16-bit integers or 32-bit floating-point numbers is needed.";
    }
    if (size[0] < 16 || size[1] < 16 || (axes == 3 && size[2] < 1)) {
        return named + " holds an image too small to be a guide frame.";
    }
    if (size[0] > kMaxFrameSide || size[1] > kMaxFrameSide ||
        static_cast<long long>(size[0]) * size[1] > kMaxFramePixels) {
        return named + " holds an image of " + std::to_string(size[0]) + " x " +
               std::to_string(size[1]) + " pixels, larger than any guide frame.";
    }

    Frame frame;
    frame.width = static_cast<int>(size[0]);
    frame.height = static_cast<int>(size[1]);
    const auto count = static_cast<std::size_t>(size[0]) * static_cast<std::size_t>(size[1]);
    frame.pixels.resize(count);
    const float blank = std::numeric_limits<float>::quiet_NaN();
    float nullValue = blank;
    int anyNull = 0;
    if (Fits::Loaded().readImage(file.Get(), TFLOAT, 1, static_cast<LONGLONG>(count), &nullValue,
                                 frame.pixels.data(), &anyNull, &status) != 0) {
        return named + "'s pixels cannot be read: " + FitsReason(status) + ".";
    }
    // Blank or not-a-number pixels take the darkest value, so no star is found in them.
    float darkest = std::numeric_limits<float>::max();
    for (float v : frame.pixels)
        if (std::isfinite(v)) darkest = std::min(darkest, v);
    if (darkest == std::numeric_limits<float>::max()) {
        return named + " holds no pixel with a value.";
    }
    for (float& v : frame.pixels)
        if (!std::isfinite(v)) v = darkest;
    ReadHints(file.Get(), frame);
    return frame;
}

DisplayLevels DisplayLevelsFor(const Frame& frame) {
    // A sample of at most about 100000 pixels is enough for the levels.
    std::vector<float> sample;
    const std::size_t step = std::max<std::size_t>(1, frame.pixels.size() / 100000);
    for (std::size_t i = 0; i < frame.pixels.size(); i += step) sample.push_back(frame.pixels[i]);
    if (sample.empty()) return {};
    auto at = [&](double fraction) {
        const auto n = static_cast<std::size_t>(fraction * static_cast<double>(sample.size() - 1));
        std::nth_element(sample.begin(), sample.begin() + static_cast<std::ptrdiff_t>(n),
                         sample.end());
        return sample[n];
    };
    DisplayLevels levels{at(0.25), at(0.998)};
    if (!(levels.white > levels.black)) levels.white = levels.black + 1;
    return levels;
}

std::optional<std::string> WriteFitsPixels(const std::string& path, const Frame& frame) {
    std::string why;
    if (!Fits::Load(why)) return "cannot write \"" + path + "\": " + why;
    FitsFile file;
    int status = 0;
    long size[2] = {frame.width, frame.height};
    Fits::Loaded().createDiskFile(file.Address(), path.c_str(), &status);
    Fits::Loaded().createImage(file.Get(), FLOAT_IMG, 2, size, &status);
    // cfitsio takes the pixels as a non-const pointer but only reads them.
    Fits::Loaded().writeImage(file.Get(), TFLOAT, 1, static_cast<LONGLONG>(frame.pixels.size()),
                              const_cast<float*>(frame.pixels.data()), &status);
    if (status != 0) return "cannot write \"" + path + "\": " + FitsReason(status);
    if (const int closed = file.Close(); closed != 0) {
        return "cannot write \"" + path + "\": " + FitsReason(closed);
    }
    return std::nullopt;
}

}  // namespace Pelindra::Solve
