#pragma once

// A real INDI server (Debian's indi-bin) running the telescope simulator for one test:
// started on a free port, read and set with indi_getprop / indi_setprop, and stopped by
// its process id when the test ends, passed or failed.
#include <signal.h>
#include <sys/prctl.h>

#include <QHostAddress>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

inline const QString kSimulator = "Telescope Simulator";

// A port nothing listens on just now.
inline int FreePort() {
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0)) return 0;
    return probe.serverPort();
}

class IndiServer {
  public:
    IndiServer() : port_(FreePort()) {
        // The simulator keeps its configuration under HOME; the user's stays untouched.
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("HOME", dir_.path());
        process_.setProcessEnvironment(environment);
        process_.setStandardOutputFile(dir_.filePath("server.log"));
        process_.setStandardErrorFile(dir_.filePath("server.log"), QIODevice::Append);
        // Should the test itself be killed (a timeout), the server goes with it.
        process_.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
        process_.start("indiserver", {"-p", QString::number(port_), "-u", dir_.filePath("socket"),
                                      "indi_simulator_telescope"});
        if (!process_.waitForStarted(5000)) {
            qWarning("indiserver did not start: %s", qPrintable(process_.errorString()));
            return;
        }
        QDeadlineTimer deadline(10000);
        while (!deadline.hasExpired()) {
            QTcpSocket probe;
            probe.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(port_));
            if (probe.waitForConnected(500)) return;
            QTest::qWait(100);
        }
        qWarning("indiserver does not listen on port %d", port_);
    }
    IndiServer(const IndiServer&) = delete;
    IndiServer& operator=(const IndiServer&) = delete;
    ~IndiServer() {
        if (process_.state() == QProcess::NotRunning) return;
        // The driver ends with the server, once its input closes.
        process_.terminate();
        if (!process_.waitForFinished(5000)) {
            process_.kill();
            process_.waitForFinished(5000);
        }
    }

    int port() const { return port_; }

    // One element as indi_getprop prints it ("On", "14.041067"), empty when not there. Asked
    // by its full name, the tool answers at once rather than after its timeout.
    QString get(const QString& property, const QString& element) const {
        QProcess getprop;
        const QString name = kSimulator + "." + property + "." + element;
        getprop.start("indi_getprop", {"-p", QString::number(port_), "-t", "3", name});
        if (!getprop.waitForFinished(10000)) return {};
        const QString line = QString::fromUtf8(getprop.readAllStandardOutput()).trimmed();
        return line.startsWith(name + "=") ? line.mid(name.size() + 1) : QString();
    }

    // "PROPERTY.ELEMENT;ELEMENT=VALUE;VALUE" for the simulator.
    bool set(const QString& assignment) const {
        QProcess setprop;
        setprop.start("indi_setprop",
                      {"-p", QString::number(port_), kSimulator + "." + assignment});
        return setprop.waitForFinished(10000) && setprop.exitCode() == 0;
    }

  private:
    QTemporaryDir dir_;
    int port_;
    QProcess process_;
};

// Local sidereal time in hours at longitude 0, where the simulator stands by default: a
// slew to an RA east of it puts the telescope on the West side of the pier, and back.
inline double SiderealHoursAtGreenwich() {
    const double julianDay = QDateTime::currentMSecsSinceEpoch() / 86400000.0 + 2440587.5;
    const double hours = 18.697374558 + 24.06570982441908 * (julianDay - 2451545.0);
    return hours - 24 * std::floor(hours / 24);
}
