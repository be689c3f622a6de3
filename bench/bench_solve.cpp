// Seconds to plate-solve a 1280 x 960 guide frame at 6 "/px of the real sky (Lynx, made
// as the tests make theirs), hinted by its scale and position as a capture program's
// header would: the median of three solves, printed as "SECONDS CPU_SECONDS STARS", the
// second the processor time the solver's programs used, which a busy machine does not
// inflate.
#include <sys/resource.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "solve/PlateSolver.h"
#include "tests/support/SkyFrame.h"

using namespace Pelindra::Solve;

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    SkyFrameRecipe recipe;
    recipe.cameraAngle = 37;
    recipe.pixscaleKeyword = 6.2;
    recipe.positionKeywords = true;
    const QString path = dir.filePath("bench.fits");
    int stars = 0;
    QString why;
    if (!WriteSkyFrame(path, recipe, &why, &stars)) {
        std::fprintf(stderr, "%s\n", qPrintable(why));
        return 1;
    }
    const auto read = ReadFitsFrame(path.toStdString());
    if (!std::holds_alternative<Frame>(read)) return 1;
    const Frame& frame = std::get<Frame>(read);
    auto childCpuSeconds = [] {
        rusage usage{};
        getrusage(RUSAGE_CHILDREN, &usage);
        return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
               (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    };
    std::vector<double> seconds, cpuSeconds;
    for (int i = 0; i < 3; ++i) {
        PlateSolver solver;
        QEventLoop loop;
        bool solved = false;
        QObject::connect(&solver, &PlateSolver::solved, &loop, [&] {
            solved = true;
            loop.quit();
        });
        QObject::connect(&solver, &PlateSolver::failed, &loop, [&](const QString& reason) {
            std::fprintf(stderr, "%s\n", qPrintable(reason));
            loop.quit();
        });
        QElapsedTimer timer;
        timer.start();
        const double cpuBefore = childCpuSeconds();
        solver.Start(frame, HintsFor(frame, std::nullopt), kCommandLineSolveLimit);
        if (solver.Busy()) loop.exec();
        if (!solved) return 1;
        seconds.push_back(timer.elapsed() / 1000.0);
        cpuSeconds.push_back(childCpuSeconds() - cpuBefore);
    }
    std::sort(seconds.begin(), seconds.end());
    std::sort(cpuSeconds.begin(), cpuSeconds.end());
    std::printf("%.2f %.2f %d\n", seconds[1], cpuSeconds[1], stars);
    return 0;
}
