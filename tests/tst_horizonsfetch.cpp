// Fetching from the Horizons API against a stand-in server on 127.0.0.1 that answers with
// recorded replies; nothing here reaches the internet.
#include <sys/resource.h>

#include <QApplication>
#include <QDateTimeEdit>
#include <QDoubleSpinBox>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <ctime>
#include <memory>

#include "ephemeris/HorizonsFetch.h"
#include "tests/support/TestFiles.h"
#include "ui/HorizonsFetchDialog.h"

using namespace Pelindra::Ephemeris;

Q_DECLARE_METATYPE(HorizonsQuery)

#include "tests/support/Sanitized.h"

namespace {

// An observer table for quantities 1, 3 and 47 as the API's "result" holds it. The rates
// agree with each other: Sky_motion = hypot(dRA*cosD, d(DEC)/dt) / 60, Sky_mot_PA =
// atan2(dRA*cosD, d(DEC)/dt).
const char kTable[] =
    R"TXT(*******************************************************************************
Ephemeris / API_USER Mon Dec  7 12:00:00 2026 Pasadena, USA      / Horizons
*******************************************************************************
Target body name: Test comet (C/2026 X1)          {source: JPL#3}
Center body name: Earth (399)                     {source: DE441}
Center-site name: (user defined site below)
*******************************************************************************
Start time      : A.D. 2026-Dec-07 21:00:00.0000 UT
Stop  time      : A.D. 2026-Dec-07 21:20:00.0000 UT
Step-size       : 10 minutes
*******************************************************************************
Center geodetic : 289.27, -30.24, 2.4             {E-lon(deg),Lat(deg),Alt(km)}
Atmos refraction: NO (AIRLESS)
RA format       : HMS
Time format     : CAL
*******************************************************************************************************
 Date__(UT)__HR:MN     R.A._____(ICRF)_____DEC  dRA*cosD d(DEC)/dt  Sky_motion  Sky_mot_PA  RelVel-ANG
*******************************************************************************************************
$$SOE
 2026-Dec-07 21:00     03 47 29.12 +24 06 18.4  60.00000  80.00000   1.6666667   36.869898   -10.48213
 2026-Dec-07 21:10  m  03 47 29.80 +24 06 31.7  63.00000  84.00000   1.7500000   36.869898   -10.49002
 2026-Dec-07 21:20  m  03 47 30.34 +24 06 41.2  48.00000  55.00000   1.2166667   41.112090   -10.49771
$$EOE
*******************************************************************************************************
Column meaning:

TIME

  Times PRIOR to 1962 are UT1, a mean-solar time closely related to the
prior but now-deprecated GMT.
)TXT";

// Several objects answer to "mars": Horizons lists them and makes no table.
const char kMatchList[] =
    R"TXT(*******************************************************************************
 Multiple major-bodies match string "MARS*"

  ID#      Name                               Designation  IAU/aliases/other
  -------  ---------------------------------- -----------  -------------------
        4  Mars Barycenter
      499  Mars

   Number of matches =   2. Use ID# to make unique selection.
*******************************************************************************
)TXT";

const char kNoTable[] =
    R"TXT(*******************************************************************************
Ephemeris / API_USER Mon Dec  7 12:00:00 2026 Pasadena, USA      / Horizons
*******************************************************************************
 No ephemeris for target "Test comet (C/2026 X1)" prior to A.D. 2026-JAN-03 00:00:00.0000 TDB
*******************************************************************************
)TXT";

QByteArray Json(QJsonObject reply) {
    reply.insert("signature", QJsonObject{{"source", "NASA/JPL Horizons API"}, {"version", "1.2"}});
    return QJsonDocument(reply).toJson(QJsonDocument::Compact);
}

QByteArray Result(const char* text) {
    return Json({{"result", QString::fromUtf8(text)}});
}

QByteArray Http(const QByteArray& status, const QByteArray& body,
                const QByteArray& type = "application/json") {
    return "HTTP/1.1 " + status + "\r\nContent-Type: " + type +
           "\r\nContent-Length: " + QByteArray::number(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
}

// The body of a full response, to compare with what the fetch hands on.
QByteArray Body(const QByteArray& response) {
    return response.mid(response.indexOf("\r\n\r\n") + 4);
}

enum class Behaviour { Answer, Silent, Stall, Drip, CloseMidReply, Refuse, Flood };

// A stand-in for the API: records each request's target ("/api/horizons.api?...") and
// answers as told. Answer sends the response and closes; Silent reads and says nothing;
// Stall sends the response (whose length promises more) and then nothing; Drip sends the
// response and then a byte every 100 ms; CloseMidReply sends the response (whose length
// promises more) and closes; Refuse listens on no port at all; Flood sends a 200 reply in
// chunks of 1 MiB, 256 in all, as fast as the connection takes them.
class FakeHorizons : public QObject {
  public:
    FakeHorizons(Behaviour behaviour, QByteArray response)
        : behaviour_(behaviour), response_(std::move(response)) {
        if (!server_.listen(QHostAddress::LocalHost, 0)) qFatal("cannot listen on 127.0.0.1");
        port_ = server_.serverPort();
        if (behaviour_ == Behaviour::Refuse) server_.close();
        connect(&server_, &QTcpServer::newConnection, this, &FakeHorizons::accept);
    }

    QString baseUrl() const { return QString("http://127.0.0.1:%1/api/horizons.api").arg(port_); }
    int openConnections() const { return open_; }

    QByteArrayList requests;

  private:
    void accept() {
        while (QTcpSocket* socket = server_.nextPendingConnection()) {
            ++open_;
            auto received = std::make_shared<QByteArray>();
            connect(socket, &QTcpSocket::readyRead, this, [this, socket, received] {
                *received += socket->readAll();
                if (!received->contains("\r\n\r\n")) return;
                disconnect(socket, &QTcpSocket::readyRead, this, nullptr);
                requests << received->left(received->indexOf("\r\n")).split(' ').value(1);
                answer(socket);
            });
            connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
                --open_;
                socket->deleteLater();
            });
        }
    }

    void answer(QTcpSocket* socket) {
        switch (behaviour_) {
            case Behaviour::Answer:
            case Behaviour::CloseMidReply:
                socket->write(response_);
                socket->disconnectFromHost();
                break;
            case Behaviour::Drip: {
                socket->write(response_);
                auto* drip = new QTimer(socket);
                connect(drip, &QTimer::timeout, socket, [socket] { socket->write("x"); });
                drip->start(100);
                break;
            }
            case Behaviour::Stall:
                socket->write(response_);
                break;
            case Behaviour::Flood: {
                socket->write(
                    "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n"
                    "Transfer-Encoding: chunked\r\n\r\n");
                const auto chunk = std::make_shared<QByteArray>(
                    QByteArray::number(1 << 20, 16) + "\r\n" + QByteArray(1 << 20, ' ') + "\r\n");
                const auto sent = std::make_shared<int>(0);
                const auto more = [socket, chunk, sent] {
                    while (socket->bytesToWrite() < 4 * chunk->size() && *sent < 256) {
                        socket->write(*chunk);
                        ++*sent;
                    }
                };
                connect(socket, &QTcpSocket::bytesWritten, socket, more);
                more();
                break;
            }
            case Behaviour::Silent:
            case Behaviour::Refuse:
                break;
        }
    }

    Behaviour behaviour_;
    QByteArray response_;
    QTcpServer server_;
    quint16 port_ = 0;
    int open_ = 0;
};

// A request's parameters as a CGI server decodes them ('+' is a blank), "KEY=value" each.
QStringList Parameters(const QByteArray& target) {
    QStringList parameters;
    for (QByteArray pair : target.mid(target.indexOf('?') + 1).split('&')) {
        pair.replace('+', ' ');
        parameters << QString::fromUtf8(QByteArray::fromPercentEncoding(pair));
    }
    return parameters;
}

QStringList Common(const QStringList& specific) {
    return QStringList{"format=json", "OBJ_DATA='NO'", "MAKE_EPHEM='YES'", "EPHEM_TYPE='OBSERVER'",
                       "QUANTITIES='1,3,47'"} +
           specific;
}

QStringList Sorted(QStringList list) {
    list.sort();
    return list;
}

QDateTime Utc(int year, int month, int day, int hour, int minute, int second = 0) {
    return QDateTime(QDate(year, month, day), QTime(hour, minute, second), Qt::UTC);
}

// Short enough to keep the suite quick, long enough for a loaded machine's loopback.
constexpr FetchTimeouts kTimeouts{std::chrono::milliseconds(2500), std::chrono::milliseconds(1000)};

HorizonsQuery Query() {
    return {"C/2026 X1", QString("G37"), Utc(2026, 12, 7, 21, 0), Utc(2026, 12, 7, 21, 20), "10 m"};
}

template <typename T>
T* Child(QWidget* parent, const char* name) {
    T* child = parent->findChild<T*>(name);
    if (!child) qFatal("no child %s", name);
    return child;
}

}  // namespace

Q_DECLARE_METATYPE(Behaviour)

class TestHorizonsFetch : public QObject {
    Q_OBJECT

  private slots:
    // Far from UTC, so a time box or a query in local time shows.
    void initTestCase() {
        qputenv("TZ", "Pacific/Auckland");
        tzset();
    }

    // What the server receives: the path and every parameter, quoted and encoded so that
    // Horizons reads each value as typed.
    void request_data() {
        QTest::addColumn<HorizonsQuery>("query");
        QTest::addColumn<QStringList>("parameters");

        QTest::newRow("site code; a designation with blanks, '=' and ';'; seconds dropped")
            << HorizonsQuery{"DES=2P; CAP;", QString(" g37 "), Utc(2026, 12, 7, 21, 0, 30),
                             Utc(2026, 12, 8, 5, 0), "10 m"}
            << Common({"COMMAND='DES=2P; CAP;'", "CENTER='G37@399'",
                       "START_TIME='2026-12-07 21:00'", "STOP_TIME='2026-12-08 05:00'",
                       "STEP_SIZE='10 m'"});
        QTest::newRow("position west and south; times given in another zone")
            << HorizonsQuery{"433", GeodeticSite{-70.73, -30.24, 2.4},
                             QDateTime(QDate(2026, 12, 7), QTime(23, 0), Qt::OffsetFromUTC, 7200),
                             QDateTime(QDate(2026, 12, 8), QTime(1, 30), Qt::OffsetFromUTC, 7200),
                             "1 h"}
            << Common({"COMMAND='433'", "CENTER='coord@399'", "COORD_TYPE='GEODETIC'",
                       "SITE_COORD='-70.73,-30.24,2.4'", "START_TIME='2026-12-07 21:00'",
                       "STOP_TIME='2026-12-07 23:30'", "STEP_SIZE='1 h'"});
    }
    void request() {
        QFETCH(HorizonsQuery, query);
        QFETCH(QStringList, parameters);
        FakeHorizons server(Behaviour::Answer, Http("500 Internal Server Error", ""));
        HorizonsFetch fetch(server.baseUrl(), kTimeouts);
        QSignalSpy failed(&fetch, &HorizonsFetch::failed);
        QCOMPARE(fetch.start(query), std::nullopt);
        QTRY_COMPARE(failed.size(), 1);
        QCOMPARE(server.requests.size(), 1);
        const QByteArray target = server.requests.first();
        QCOMPARE(target.left(target.indexOf('?')), QByteArray("/api/horizons.api"));
        QCOMPARE(Sorted(Parameters(target)), Sorted(parameters));
    }

    // One row per way a fetch ends. An empty `message` means the reply is handed on as
    // received; otherwise every fragment must be in the one failure reported. Either way
    // exactly one outcome is reported and no connection is left open.
    void fetch_data() {
        QTest::addColumn<Behaviour>("behaviour");
        QTest::addColumn<QByteArray>("response");
        QTest::addColumn<int>("cancelAfterMs");  // -1: never
        QTest::addColumn<QStringList>("message");

        QTest::newRow("observer table")
            << Behaviour::Answer << Http("200 OK", Result(kTable)) << -1 << QStringList();

        QTest::newRow("HTTP 500 with a page")
            << Behaviour::Answer
            << Http("500 Internal Server Error", "<html><body>oops</body></html>", "text/html")
            << -1 << QStringList{"127.0.0.1", "HTTP 500 Internal Server Error"};
        QTest::newRow("HTTP 400 with Horizons' reason")
            << Behaviour::Answer
            << Http(
                   "400 Bad Request",
                   Json({{"message", "invalid value specified for 'EPHEM_TYPE'"}, {"code", "400"}}))
            << -1
            << QStringList{"HTTP 400 Bad Request", "invalid value specified for 'EPHEM_TYPE'"};
        QTest::newRow("Horizons' error member")
            << Behaviour::Answer
            << Http("200 OK", Json({{"error", "Cannot interpret date. Type \"?!\" for help."}}))
            << -1 << QStringList{"Horizons refused", "Cannot interpret date."};
        QTest::newRow("not JSON: a captive portal")
            << Behaviour::Answer
            << Http("200 OK", "<!DOCTYPE html><title>Hotel Wi-Fi login</title>", "text/html") << -1
            << QStringList{"127.0.0.1", "not JSON", "<!DOCTYPE html>"};
        QTest::newRow("ambiguous target: the matches, no table")
            << Behaviour::Answer << Http("200 OK", Result(kMatchList)) << -1
            << QStringList{"several objects", "ID#      Name", "      499  Mars"};
        QTest::newRow("no table, Horizons says why")
            << Behaviour::Answer << Http("200 OK", Result(kNoTable)) << -1
            << QStringList{"no ephemeris table", "No ephemeris for target"};
        QTest::newRow("larger than an ephemeris may be")
            << Behaviour::Drip << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 100000000\r\n\r\n")
            << -1 << QStringList{"127.0.0.1", "64 MiB"};

        QTest::newRow("endless reply in chunks")
            << Behaviour::Flood << QByteArray() << -1 << QStringList{"127.0.0.1", "64 MiB"};
        QTest::newRow("redirect to another port")
            << Behaviour::Answer
            << QByteArray(
                   "HTTP/1.1 302 Found\r\nLocation: {other}\r\nContent-Length: 0\r\n"
                   "Connection: close\r\n\r\n")
            << -1 << QStringList{"Cannot fetch from 127.0.0.1", "another server"};
        QTest::newRow("packed reply damaged")
            << Behaviour::Answer
            << QByteArray(
                   "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n"
                   "Content-Encoding: gzip\r\nContent-Length: 12\r\n"
                   "Connection: close\r\n\r\nnot gzip at all")
                   .chopped(3)
            << -1 << QStringList{"Cannot fetch from 127.0.0.1", "came damaged"};
        QTest::newRow("connection refused")
            << Behaviour::Refuse << QByteArray() << -1
            << QStringList{"Cannot fetch from 127.0.0.1", "refused"};
        QTest::newRow("closed mid-reply")
            << Behaviour::CloseMidReply
            << Http("200 OK", Result(kTable)).chopped(Result(kTable).size() / 2) << -1
            << QStringList{"Cannot fetch from 127.0.0.1", "closed"};
        QTest::newRow("silent server: the stall timeout")
            << Behaviour::Silent << QByteArray() << -1
            << QStringList{"127.0.0.1 did not answer within 1 s"};
        QTest::newRow("server stops mid-reply: the stall timeout")
            << Behaviour::Stall << Http("200 OK", Result(kTable)).chopped(100) << -1
            << QStringList{"127.0.0.1 stopped sending for 1 s"};
        QTest::newRow("dripping server: the total timeout")
            << Behaviour::Drip
            << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n{\"result\":\"") << -1
            << QStringList{"127.0.0.1 did not send the whole table within 2.5 s"};
        QTest::newRow("cancelled while waiting")
            << Behaviour::Silent << QByteArray() << 200 << QStringList{"cancelled"};
    }
    void fetch() {
        QFETCH(Behaviour, behaviour);
        QFETCH(QByteArray, response);
        QFETCH(int, cancelAfterMs);
        QFETCH(QStringList, message);
        // The place a redirect points to: a server that would answer.
        FakeHorizons other(Behaviour::Answer, Http("200 OK", Result(kTable)));
        response.replace("{other}", other.baseUrl().toUtf8());
        FakeHorizons server(behaviour, response);
        HorizonsFetch fetch(server.baseUrl(), kTimeouts);
        QSignalSpy succeeded(&fetch, &HorizonsFetch::succeeded);
        QSignalSpy failed(&fetch, &HorizonsFetch::failed);
        QCOMPARE(fetch.start(Query()), std::nullopt);
        QVERIFY(fetch.isRunning());
        if (cancelAfterMs >= 0) {
            QTest::qWait(cancelAfterMs);
            fetch.cancel();
        }
        QTRY_COMPARE_WITH_TIMEOUT(succeeded.size() + failed.size(), 1, 10000);
        QVERIFY(!fetch.isRunning());
        if (message.isEmpty()) {
            QVERIFY2(failed.isEmpty(), qPrintable(failed.value(0).value(0).toString()));
            QCOMPARE(succeeded.first().first().toByteArray(), Body(response));
        } else {
            QCOMPARE(succeeded.size(), 0);
            const QString reported = failed.first().first().toString();
#ifdef PELINDRA_SANITIZED
            // A sanitized build on a busy machine may not take in 64 MiB before the total
            // timeout; either way the flood ends, and its memory is checked below.
            if (behaviour == Behaviour::Flood && reported.contains("did not send the whole table"))
                message = QStringList{"127.0.0.1"};
#endif
            for (const QString& fragment : message)
                QVERIFY2(reported.contains(fragment), qPrintable(reported));
        }
        QTRY_COMPARE(server.openConnections(), 0);
        QCOMPARE(other.requests.size(), 0);
        if (behaviour == Behaviour::Flood) {
            // What came is held once, within the limit, not piled up behind it.
            rusage usage{};
            QCOMPARE(getrusage(RUSAGE_SELF, &usage), 0);
            qint64 limit = 256;
#ifdef PELINDRA_SANITIZED
            limit *= 3;  // the address sanitizer's own memory
#endif
            QVERIFY2(usage.ru_maxrss / 1024 < limit,
                     qPrintable(QString::number(usage.ru_maxrss / 1024) + " MiB"));
        }
        if (cancelAfterMs >= 0) {
            // Nothing may follow a cancel, not even the timeouts it began with.
            QTest::qWait(static_cast<int>(kTimeouts.total.count()) + 200);
            QCOMPARE(succeeded.size() + failed.size(), 1);
        }
    }

    // The dialog as the user drives it: fill the fields, Fetch, and the reply is saved in
    // the track files' folder under a name from the target and start time, or the dialog
    // says why not and stays open.
    void dialog_data() {
        QTest::addColumn<QByteArray>("response");
        QTest::addColumn<QByteArray>("existing");  // already in the folder; empty: none
        QTest::addColumn<bool>("saved");
        QTest::addColumn<QString>("status");  // shown when not saved

        QTest::newRow("saved") << Http("200 OK", Result(kTable)) << QByteArray() << true
                               << QString();
        QTest::newRow("a file of that name is kept when the user says No")
            << Http("200 OK", Result(kTable)) << QByteArray("an older night\n") << false
            << QString("already exists");
        QTest::newRow("Horizons' error")
            << Http("200 OK", Json({{"error", "Cannot interpret date."}})) << QByteArray() << false
            << QString("Horizons refused the query: Cannot interpret date.");
    }
    void dialog() {
        QFETCH(QByteArray, response);
        QFETCH(QByteArray, existing);
        QFETCH(bool, saved);
        QFETCH(QString, status);
        FakeHorizons server(Behaviour::Answer, response);
        qputenv("PELINDRA_HORIZONS_URL", server.baseUrl().toUtf8());
        QTemporaryDir folder;
        const QString file = folder.filePath("C_2026_X1_2026-12-07_2100UTC.json");
        if (!existing.isEmpty()) WriteAll(file, existing);

        // Acts on whatever window is in front, as a user would, until the dialog is gone.
        bool filled = false;
        int questions = 0;
        QString shown;
        QString shownStart;  // the boxes are in UTC whatever the desktop's zone
        QTimer user;
        connect(&user, &QTimer::timeout, this, [&] {
            QWidget* front = QApplication::activeModalWidget();
            if (auto* box = qobject_cast<QMessageBox*>(front)) {
                ++questions;
                box->button(QMessageBox::No)->click();
                return;
            }
            auto* dialog = qobject_cast<HorizonsFetchDialog*>(front);
            if (!dialog) return;
            if (!filled) {
                Child<QLineEdit>(dialog, "target")->setText("C/2026 X1");
                Child<QRadioButton>(dialog, "useCoordinates")->click();
                Child<QDoubleSpinBox>(dialog, "longitude")->setValue(-70.73);
                Child<QDoubleSpinBox>(dialog, "latitude")->setValue(-30.24);
                Child<QDoubleSpinBox>(dialog, "altitude")->setValue(2400);
                Child<QDateTimeEdit>(dialog, "start")->setDateTime(Utc(2026, 12, 7, 21, 0));
                Child<QDateTimeEdit>(dialog, "stop")->setDateTime(Utc(2026, 12, 7, 21, 20));
                shownStart = Child<QDateTimeEdit>(dialog, "start")->text();
                Child<QLineEdit>(dialog, "step")->setText("10 m");
                Child<QPushButton>(dialog, "fetch")->click();
                filled = true;
            } else if (Child<QPushButton>(dialog, "fetch")->isEnabled()) {
                // Done without saving; the dialog is usable again. The user gives up.
                shown = Child<QLabel>(dialog, "status")->text();
                Child<QPushButton>(dialog, "cancel")->click();
            }
        });
        user.start(20);
        QTimer::singleShot(15000, this, [] {
            if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
                dialog->done(QDialog::Rejected);
        });
        const std::optional<QString> path = HorizonsFetchDialog::Run(nullptr, folder.path());
        user.stop();
        qunsetenv("PELINDRA_HORIZONS_URL");

        QCOMPARE(shownStart, QString("2026-12-07 21:00"));
        QCOMPARE(server.requests.size(), 1);
        const QStringList parameters = Parameters(server.requests.first());
        for (const char* expected :
             {"COMMAND='C/2026 X1'", "CENTER='coord@399'", "SITE_COORD='-70.73,-30.24,2.4'",
              "START_TIME='2026-12-07 21:00'"})
            QVERIFY2(parameters.contains(expected), qPrintable(parameters.join(" ")));
        if (saved) {
            QVERIFY2(shown.isEmpty(), qPrintable(shown));
            QCOMPARE(path, std::optional<QString>(file));
            QCOMPARE(ReadAll(file), Body(response));
        } else {
            QCOMPARE(path, std::nullopt);
            QVERIFY2(shown.contains(status), qPrintable(shown));
            if (!existing.isEmpty()) QCOMPARE(ReadAll(file), existing);
        }
        QCOMPARE(questions, existing.isEmpty() ? 0 : 1);
        QCOMPARE(Listing(folder.path()), saved || !existing.isEmpty()
                                             ? QStringList{QFileInfo(file).fileName()}
                                             : QStringList());
    }
};

QTEST_MAIN(TestHorizonsFetch)
#include "tst_horizonsfetch.moc"
