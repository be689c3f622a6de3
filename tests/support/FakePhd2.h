#pragma once

// The stand-in PHD2 (fake_phd2.py) for one test: started on a free port on 127.0.0.1 and
// stopped by its process id when the test ends, passed or failed.
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

class FakePhd2 {
  public:
    // `frame`: the file save_image names.
    explicit FakePhd2(const QString& mode, const QString& frame = {}) {
        process_.setProgram("python3");
        QStringList arguments{FAKE_PHD2, "--mode", mode, "--log", logPath()};
        if (!frame.isEmpty()) arguments << "--frame" << frame;
        process_.setArguments(arguments);
        process_.start();
        if (!process_.waitForStarted(5000) || !process_.waitForReadyRead(5000)) {
            qWarning("fake PHD2 did not start: %s", qPrintable(process_.errorString()));
            return;
        }
        port_ = process_.readLine().trimmed().toInt();
    }
    FakePhd2(const FakePhd2&) = delete;
    FakePhd2& operator=(const FakePhd2&) = delete;
    ~FakePhd2() {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished(5000);
        }
    }

    int port() const { return port_; }
    QString logPath() const { return dir_.filePath("received.log"); }
    // The lines received so far, as they came.
    QList<QByteArray> received() const {
        QFile file(logPath());
        if (!file.open(QIODevice::ReadOnly)) return {};
        QList<QByteArray> lines = file.readAll().split('\n');
        if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
        return lines;
    }

  private:
    QTemporaryDir dir_;
    QProcess process_;
    int port_ = 0;
};
