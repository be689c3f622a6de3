#pragma once

// The stand-in INDI server (fake_indi.py) for one test: started on a free port on 127.0.0.1
// and stopped by its process id when the test ends, passed or failed.
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

inline const QString kStandInMount = "Stand-in Mount";

class FakeIndi {
  public:
    // `options`: --mode, --side, --dec-axis as fake_indi.py takes them.
    explicit FakeIndi(const QStringList& options = {}) {
        process_.setProgram("python3");
        process_.setArguments(QStringList{FAKE_INDI, "--log", logPath()} + options);
        process_.start();
        if (!process_.waitForStarted(5000) || !process_.waitForReadyRead(5000)) {
            qWarning("stand-in INDI server did not start: %s", qPrintable(process_.errorString()));
            return;
        }
        port_ = process_.readLine().trimmed().toInt();
    }
    FakeIndi(const FakeIndi&) = delete;
    FakeIndi& operator=(const FakeIndi&) = delete;
    ~FakeIndi() {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished(5000);
        }
    }

    int port() const { return port_; }
    QString logPath() const { return dir_.filePath("received.log"); }
    // The messages received so far, one a line.
    QStringList received() const {
        QFile file(logPath());
        if (!file.open(QIODevice::ReadOnly)) return {};
        return QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
    }

  private:
    QTemporaryDir dir_;
    QProcess process_;
    int port_ = 0;
};
