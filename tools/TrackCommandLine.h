#pragma once

#include <QStringList>

// pelindra-track: the track file without the window. Returns the exit status: 0 done,
// 1 failure, 2 wrong usage.
int RunTrackCommandLine(const QStringList& arguments);
