#pragma once

// Guide frames of the real sky for the solver's tests: the catalogue stars of the
// installed astrometry.net index files around a centre (listed by query-starkd), placed
// through a known CD matrix by the gnomonic projection, drawn as Gaussian stars with
// fainter stars that no index holds, a comet and noise, written as 16-bit or float FITS.
#include <fitsio.h>

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <cmath>
#include <numbers>
#include <optional>
#include <random>
#include <string>
#include <vector>

struct SkyStar {
    double ra = 0;  // degrees
    double dec = 0;
    double magnitude = 0;
};

// The index stars within `radius` degrees of (ra, dec), each once although several index
// files hold it; empty when query-starkd is missing.
inline std::vector<SkyStar> CatalogueStars(double ra, double dec, double radius) {
    std::vector<SkyStar> stars;
    QTemporaryDir dir;
    const QStringList indexes =
        QDir("/usr/share/astrometry").entryList({"index-tycho2-*.fits"}, QDir::Files);
    for (const QString& index : indexes) {
        const QString table = dir.filePath(index + ".rd.fits");
        QProcess query;
        query.start(
            "query-starkd",
            {"-r", QString::number(ra, 'f', 8), "-d", QString::number(dec, 'f', 8), "-R",
             QString::number(radius, 'f', 8), "-T", "-o", table, "/usr/share/astrometry/" + index});
        if (!query.waitForFinished(30000) || query.exitCode() != 0) continue;
        fitsfile* file = nullptr;
        int status = 0;
        if (fits_open_table(&file, table.toLocal8Bit().constData(), READONLY, &status) != 0) {
            continue;
        }
        long rows = 0;
        int raColumn = 0, decColumn = 0, magColumn = 0;
        fits_get_num_rows(file, &rows, &status);
        fits_get_colnum(file, CASEINSEN, const_cast<char*>("RA"), &raColumn, &status);
        fits_get_colnum(file, CASEINSEN, const_cast<char*>("DEC"), &decColumn, &status);
        fits_get_colnum(file, CASEINSEN, const_cast<char*>("MAG_VT"), &magColumn, &status);
        std::vector<double> ras(rows), decs(rows), mags(rows);
        if (rows > 0) {
            fits_read_col(file, TDOUBLE, raColumn, 1, 1, rows, nullptr, ras.data(), nullptr,
                          &status);
            fits_read_col(file, TDOUBLE, decColumn, 1, 1, rows, nullptr, decs.data(), nullptr,
                          &status);
            fits_read_col(file, TDOUBLE, magColumn, 1, 1, rows, nullptr, mags.data(), nullptr,
                          &status);
        }
        int closeStatus = 0;
        fits_close_file(file, &closeStatus);
        if (status != 0) continue;
        for (long i = 0; i < rows; ++i) {
            bool known = false;
            for (const SkyStar& s : stars) {
                if (std::fabs(s.dec - decs[i]) < 1e-4 &&
                    std::fabs(s.ra - ras[i]) * std::cos(decs[i] * std::numbers::pi / 180) < 1e-4) {
                    known = true;
                    break;
                }
            }
            if (!known) stars.push_back({ras[i], decs[i], mags[i]});
        }
    }
    return stars;
}

struct SkyFrameRecipe {
    double ra = 120;  // centre, degrees
    double dec = 30;
    double arcsecPerPixel = 6;
    double cameraAngle = 0;  // position angle of +Y (rows in file order), north through east
    bool mirrored = false;   // +X 90 degrees west of +Y instead of east
    int width = 1280;
    int height = 960;
    bool floatPixels = false;
    bool cube = false;     // a second plane of noise after the frame
    bool noStars = false;  // noise alone
    unsigned seed = 1;
    // Header keywords, written when set.
    std::optional<double> pixscaleKeyword;
    bool positionKeywords = false;
    const char* pierSide = nullptr;
};

// The CD matrix of the recipe, from the geometry alone: +Y points at the camera angle,
// +X 90 degrees east of it (west when mirrored); rows east and north, degrees per pixel.
inline void RecipeCd(const SkyFrameRecipe& recipe, double cd[2][2]) {
    const double s = recipe.arcsecPerPixel / 3600;
    const double a = recipe.cameraAngle * std::numbers::pi / 180;
    const double yEast = std::sin(a), yNorth = std::cos(a);
    const double xPa = a + (recipe.mirrored ? -1 : 1) * std::numbers::pi / 2;
    cd[0][0] = s * std::sin(xPa);
    cd[1][0] = s * std::cos(xPa);
    cd[0][1] = s * yEast;
    cd[1][1] = s * yNorth;
}

// Writes the frame to `path`; returns false (and says why through `why`) when it cannot.
inline bool WriteSkyFrame(const QString& path, const SkyFrameRecipe& recipe, QString* why = nullptr,
                          int* starsDrawn = nullptr) {
    const double rad = std::numbers::pi / 180;
    const int w = recipe.width, h = recipe.height;
    std::vector<float> image(static_cast<std::size_t>(w) * h);
    std::mt19937 random(recipe.seed);
    std::normal_distribution<double> noise(1000, 12);
    for (float& v : image) v = static_cast<float>(noise(random));

    auto drawStar = [&](double px, double py, double flux, double sigma) {
        const int r = static_cast<int>(std::ceil(sigma * 5));
        for (int y = std::max(0, int(py) - r); y <= std::min(h - 1, int(py) + r); ++y) {
            for (int x = std::max(0, int(px) - r); x <= std::min(w - 1, int(px) + r); ++x) {
                const double d2 = (x - px) * (x - px) + (y - py) * (y - py);
                image[static_cast<std::size_t>(y) * w + x] +=
                    static_cast<float>(flux / (2 * std::numbers::pi * sigma * sigma) *
                                       std::exp(-d2 / (2 * sigma * sigma)));
            }
        }
    };

    int drawn = 0;
    if (!recipe.noStars) {
        double cd[2][2];
        RecipeCd(recipe, cd);
        const double det = cd[0][0] * cd[1][1] - cd[0][1] * cd[1][0];
        const double radius = std::hypot(w, h) * recipe.arcsecPerPixel / 3600 / 2 * 1.05;
        const std::vector<SkyStar> stars = CatalogueStars(recipe.ra, recipe.dec, radius);
        const double d0 = recipe.dec * rad;
        for (const SkyStar& star : stars) {
            const double d = star.dec * rad, dra = (star.ra - recipe.ra) * rad;
            const double cosc =
                std::sin(d0) * std::sin(d) + std::cos(d0) * std::cos(d) * std::cos(dra);
            const double xi = std::cos(d) * std::sin(dra) / cosc / rad;
            const double eta =
                (std::cos(d0) * std::sin(d) - std::sin(d0) * std::cos(d) * std::cos(dra)) / cosc /
                rad;
            // The inverse of CD takes the plane back to pixels about the centre.
            const double dx = (cd[1][1] * xi - cd[0][1] * eta) / det;
            const double dy = (-cd[1][0] * xi + cd[0][0] * eta) / det;
            const double px = (w - 1) / 2.0 + dx, py = (h - 1) / 2.0 + dy;
            if (px < -5 || py < -5 || px > w + 5 || py > h + 5) continue;
            drawStar(px, py, 150000 * std::pow(10, -0.4 * (star.magnitude - 9)), 1.4);
            ++drawn;
        }
        // Stars fainter than the catalogue's, which the solver must see past.
        std::uniform_real_distribution<double> across(0, w), down(0, h), faint(11.5, 13.5);
        for (int i = 0; i < 120; ++i) {
            drawStar(across(random), down(random),
                     150000 * std::pow(10, -0.4 * (faint(random) - 9)), 1.4);
        }
        // A comet: a bright diffuse head with a tail.
        const double cx = w * 0.3, cy = h * 0.6;
        for (int i = 0; i < 40; ++i)
            drawStar(cx + i * 2.0, cy - i * 1.0, 60000.0 / (1 + i), 4 + i * 0.2);
    }
    if (starsDrawn) *starsDrawn = drawn;

    fitsfile* file = nullptr;
    int status = 0;
    QFile::remove(path);
    long size[3] = {w, h, 2};
    fits_create_diskfile(&file, path.toLocal8Bit().constData(), &status);
    fits_create_img(file, recipe.floatPixels ? FLOAT_IMG : USHORT_IMG, recipe.cube ? 3 : 2, size,
                    &status);
    if (recipe.pixscaleKeyword) {
        double scale = *recipe.pixscaleKeyword;
        fits_write_key(file, TDOUBLE, "PIXSCALE", &scale, "arcsec per pixel", &status);
    }
    if (recipe.positionKeywords) {
        double ra = recipe.ra, dec = recipe.dec;
        fits_write_key(file, TDOUBLE, "RA", &ra, "degrees", &status);
        fits_write_key(file, TDOUBLE, "DEC", &dec, "degrees", &status);
    }
    if (recipe.pierSide) {
        fits_write_key(file, TSTRING, "PIERSIDE", const_cast<char*>(recipe.pierSide), "", &status);
    }
    for (float& v : image) v = std::clamp(v, 0.0f, 65535.0f);
    if (!recipe.floatPixels) {
        for (float& v : image) v = std::round(v);
    }
    fits_write_img(file, TFLOAT, 1, static_cast<LONGLONG>(image.size()), image.data(), &status);
    if (recipe.cube) {
        for (float& v : image) v = static_cast<float>(noise(random));
        fits_write_img(file, TFLOAT, static_cast<LONGLONG>(image.size()) + 1,
                       static_cast<LONGLONG>(image.size()), image.data(), &status);
    }
    int closeStatus = 0;
    fits_close_file(file, &closeStatus);
    if (status == 0) status = closeStatus;
    if (status != 0) {
        char text[FLEN_STATUS] = {};
        fits_get_errstatus(status, text);
        if (why) *why = QString("cannot write %1: %2").arg(path, text);
        return false;
    }
    return true;
}
