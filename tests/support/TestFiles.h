#pragma once

// Reading, writing and listing the files a test sets up or a command leaves behind.
#include <QByteArray>
#include <QByteArrayList>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QtTest>

// Settings and track files end every line with CR LF; this builds them line by line.
inline QByteArray Lines(const QByteArrayList& lines) {
    QByteArray bytes;
    for (const QByteArray& line : lines) bytes += line + "\r\n";
    return bytes;
}

// A file's bytes; a missing or unreadable file compares unequal to any expected content.
inline QByteArray ReadAll(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return "<unreadable>";
    return file.readAll();
}

// Puts a file in place before a test; failing to do so fails the test.
inline void WriteAll(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

// Everything under `dir`, hidden entries included, so stray temporary files show up.
inline QStringList Listing(const QString& dir) {
    QStringList names;
    QDirIterator it(dir, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) names << QDir(dir).relativeFilePath(it.next());
    names.sort();
    return names;
}

// The recorded ephemerides beside the project (shared/ephemeris-samples), looked for from
// the source folder upwards so a checkout one level deeper finds them too; empty when none is.
inline QString EphemerisSamplesFolder(const QString& sourceFolder) {
    for (QDir dir(sourceFolder); dir.cdUp();) {
        const QString folder = dir.filePath(QStringLiteral("shared/ephemeris-samples"));
        if (QFileInfo(folder).isDir()) return folder;
    }
    return {};
}
