#include <QtTest>
#include <cmath>

#include "ephemeris/Reader.h"
#include "ephemeris/UtcTime.h"
#include "tests/support/TestFiles.h"

using namespace Pelindra::Ephemeris;

namespace {

// Tables as the Minor Planet Center's ephemeris service prints them: our own objects and
// numbers, in the service's column widths.

// Total motion in "/min, rows out of time order.
constexpr char kTotalPerMinute[] = R"(K22L00A       [H=18.20]
Date       UT      R.A. (J2000) Decl.    Delta     r     El.    Ph.   V      Sky Motion
            h m s                                                            "/min    P.A.
2022 06 02 080000 23 54 45.0 +01 48 40   4.229   4.900  125.1   9.8  21.0    1.30    031.0
2022 06 02 070000 23 54 43.0 +01 48 30   4.229   4.900  125.1   9.8  21.0    1.20    030.0
)";

// A Decl. just south of the equator: its sign is only in the "-00".
constexpr char kTotalPerSecond[] =
    R"(Date       UT      R.A. (J2000) Decl.    Delta     r     El.    Ph.   V      Sky Motion
            h m s                                                            "/sec    P.A.
2022 06 02 070000 23 54 43.0 -00 30 00   4.229   4.900  125.1   9.8  21.0   0.020    090.0
)";

constexpr char kTotalPerHour[] =
    R"(Date       UT      R.A. (J2000) Decl.    Delta     r     El.    Ph.   V      Sky Motion
            h m s                                                            "/hr     P.A.
2022 06 02 070000 23 54 43.0 +01 48 30   4.229   4.900  125.1   9.8  21.0   36.00    180.0
)";

// UTF-8, as a copied text is: the degree sign takes two bytes but one column.
constexpr char kTotalDegreesPerDay[] =
    R"(Date       UT      R.A. (J2000) Decl.    Delta     r     El.    Ph.   V      Sky Motion
            h m s                                                            °/day    P.A.
2022 06 02 070000 23 54 43.0 +01 48 30   4.229   4.900  125.1   9.8  21.0  0.0480    270.0
)";

constexpr char kSkyMotions[] =
    R"(Date       UT      R.A. (J2000) Decl.    Delta     r     El.    Ph.   V      Sky Motion
            h m s                                                            "/min    "/min
2022 06 02 070000 23 54 43.0 +01 48 30   4.229   4.900  125.1   9.8  21.0   +0.17    -0.25
)";

// d(R.A.)/dt at Decl. +60, where cos(Decl.) is one half.
constexpr char kCoordinateMotions[] =
    R"(Date       UT      R.A. (J2000) Decl.    Delta     r     El.    Ph.   m1    Coord Motion
            h m s                                                            "/hr     "/hr
2022 06 02 070000 02 00 00.0 +60 00 00   4.229   4.900  125.1   9.8  21.0  -12.00    +3.00
)";

// An object so fast that its motion fills its column up to the magnitude, or overflows.
constexpr char kGluedAndOverflow[] =
    R"(Date       UT      R.A. (J2000) Decl.    Delta     r     El.    Ph.   V      Sky Motion
            h m s                                                            "/hr     P.A.
2008 10 07 025000 08 00 22.2 +12 14 07   4.229   4.900  125.1   9.8  12.4********    110.1
2008 10 07 030000 12 08 52.4 -12 56 59   4.229   4.900  125.1   9.8  23.5360000.0    090.0
2008 10 07 031000 11 18 54.0 -08 15 25   4.229   4.900  125.1   9.8  20.5********    112.0
)";

constexpr char kHoursMinutes[] =
    R"(Date       UT      R.A. (J2000) Decl.    Delta     r     El.    Ph.   V      Sky Motion
            h m                                                              "/min    P.A.
2022 06 02 0730   23 54 43.0 +01 48 30   4.229   4.900  125.1   9.8  21.0    1.20    030.0
)";

constexpr char kHoursOnly[] =
    R"(Date       UT      R.A. (J2000) Decl.    Delta     r     El.    Ph.   V      Sky Motion
            h                                                                "/min    P.A.
2022 06 02 08     23 54 43.0 +01 48 30   4.229   4.900  125.1   9.8  21.0    1.30    030.0
2022 06 02 07     23 54 43.0 +01 48 30   4.229   4.900  125.1   9.8  21.0    1.20    030.0
)";

constexpr char kDecimalPosition[] =
    R"(Date       UT      R.A. (J2000) Decl.    Delta     r     El.    Ph.   V      Sky Motion
            h m s                                                            "/min    P.A.
2022 06 02 070000   23.9119  +01.808     4.229   4.900  125.1   9.8  21.0    1.20    030.0
)";

// kTotalPerMinute with links around the date and the motion, and the service's links after.
constexpr char kLinkedRows[] = R"(K22L00A       [H=18.20]
Date       UT      R.A. (J2000) Decl.    Delta     r     El.    Ph.   V      Sky Motion
            h m s                                                            &quot;/min    P.A.
<a href="e?t=1">2022 06 02 080000</a> 23 54 45.0 +01 48 40   4.229   4.900  125.1   9.8  21.0    <a href="m">1.30</a>    031.0 / <a href="u?a=1&amp;b=2">Map</a>
<a href="e?t=0">2022 06 02 070000</a> 23 54 43.0 +01 48 30   4.229   4.900  125.1   9.8  21.0    <a href="m">1.20</a>    030.0 / <a href="u?a=0&amp;b=2">Map</a>
)";

// Rows ten minutes apart where the service left some out (the Sun was up).
constexpr char kGaps[] =
    R"(Date       UT      R.A. (J2000) Decl.    Delta     r     El.    Ph.   V      Sky Motion
            h m s                                                            "/min    P.A.
2022 06 02 070000 23 54 43.0 +01 48 30   4.229   4.900  125.1   9.8  21.0    1.20    030.0
2022 06 02 071000 23 54 43.0 +01 48 30   4.229   4.900  125.1   9.8  21.0    1.20    030.0
2022 06 02 074000 23 54 43.0 +01 48 30   4.229   4.900  125.1   9.8  21.0    1.20    030.0
)";

constexpr char kIrregular[] =
    R"(Date       UT      R.A. (J2000) Decl.    Delta     r     El.    Ph.   V      Sky Motion
            h m s                                                            "/min    P.A.
2022 06 02 070000 23 54 43.0 +01 48 30   4.229   4.900  125.1   9.8  21.0    1.20    030.0
2022 06 02 072500 23 54 43.0 +01 48 30   4.229   4.900  125.1   9.8  21.0    1.20    030.0
2022 06 02 080000 23 54 43.0 +01 48 30   4.229   4.900  125.1   9.8  21.0    1.20    030.0
)";

constexpr char kNoTablePage[] = R"(<html>
<head><title>Minor Planet Ephemeris Service: Query Results</title></head>
<body>
<h1>Minor Planet Ephemeris Service: Query Results</h1>
Ephemerides are for
the geocenter.
<p><hr><p>
No current elements found for 2099 ZZ.  There may be published elements for this object.
<p><hr><p>
</body>
</html>
)";

// The service's page around a table: the table's first line is line 14.
QByteArray Page(const QByteArray& table, const QByteArray& site = "the geocenter") {
    return "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\">\n"
           "<html>\n<head>\n"
           "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=ISO-8859-1\">\n"
           "<title>Minor Planet Ephemeris Service: Query Results</title>\n</head>\n<body>\n"
           "<h1>Minor Planet Ephemeris Service: Query Results</h1>\n"
           "Ephemerides are for\n" +
           site +
           ".\n<p><hr><p>\n"
           "<b>   2022 LA</b>\n"
           "<p><pre>\n" +
           table + "</pre>\n<p><hr><p>\n</body>\n</html>\n";
}

QByteArray Latin1(QByteArray utf8) {
    return utf8.replace("\xC2\xB0", "\xB0");
}

QByteArray CrLf(QByteArray text) {
    return text.replace("\n", "\r\n");
}

// Blanks turned into tabs wherever a run of them reaches a multiple of eight, as an editor
// that keeps tabs would save the table.
QByteArray WithTabs(const QByteArray& text) {
    QByteArray out;
    int column = 0;
    int blanks = 0;
    for (const char c : text) {
        if (c == ' ') {
            ++blanks;
            if (++column % 8 == 0) {
                out += blanks > 1 ? QByteArray("\t") : QByteArray(blanks, ' ');
                blanks = 0;
            }
            continue;
        }
        out += QByteArray(blanks, ' ') + c;
        blanks = 0;
        column = c == '\n' ? 0 : column + 1;
    }
    return out;
}

std::variant<Table, ReadError> Read(const QByteArray& text) {
    return ReadEphemeris(std::string_view(text.constData(), std::size_t(text.size())));
}

QString MessageOf(const std::variant<Table, ReadError>& result) {
    const auto* error = std::get_if<ReadError>(&result);
    return error ? QString::fromStdString(error->message) : QString();
}

bool Near(double actual, double expected) {
    return std::fabs(actual - expected) <= 1e-8 * std::max(1.0, std::fabs(expected));
}

}  // namespace

class TestMpc : public QObject {
    Q_OBJECT

  private slots:
    void rows_data();
    void rows();
    void pageFacts_data();
    void pageFacts();
    void refused_data();
    void refused();
    void samples_data();
    void samples();
    void cutAndHoles_data();
    void cutAndHoles();
};

void TestMpc::rows_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("firstTime");
    QTest::addColumn<double>("east");  // "/min, of the earliest row
    QTest::addColumn<double>("north");
    QTest::addColumn<double>("raDegrees");
    QTest::addColumn<double>("decDegrees");

    // 1.20"/min at P.A. 30: E = 1.2 sin 30 = 0.6, N = 1.2 cos 30 = 1.0392305;
    // 23 54 43.0 = 358.6791667 deg, +01 48 30 = 1.8083333 deg.
    const double e30 = 0.6, n30 = 1.03923048454, ra = 358.67916666667, dec = 1.80833333333;

    // Total motion and P.A. in each unit.
    QTest::newRow("total \"/min, rows out of order")
        << QByteArray(kTotalPerMinute) << 2 << "2022-06-02T07:00:00Z" << e30 << n30 << ra << dec;
    QTest::newRow("total \"/sec: 0.020 x 60 at P.A. 90, Decl. -00 30")
        << QByteArray(kTotalPerSecond) << 1 << "2022-06-02T07:00:00Z" << 1.2 << 0.0 << ra << -0.5;
    QTest::newRow("total \"/hr: 36.00 / 60 at P.A. 180")
        << QByteArray(kTotalPerHour) << 1 << "2022-06-02T07:00:00Z" << 0.0 << -0.6 << ra << dec;
    QTest::newRow("total deg/day, UTF-8 copy: 0.0480 x 2.5 at P.A. 270")
        << QByteArray(kTotalDegreesPerDay) << 1 << "2022-06-02T07:00:00Z" << -0.12 << 0.0 << ra
        << dec;
    QTest::newRow("total deg/day, ISO-8859-1 page")
        << Page(Latin1(kTotalDegreesPerDay)) << 1 << "2022-06-02T07:00:00Z" << -0.12 << 0.0 << ra
        << dec;
    QTest::newRow("total deg/day, &deg; in the page")
        << Page(QByteArray(kTotalDegreesPerDay).replace("\xC2\xB0", "&deg;")) << 1
        << "2022-06-02T07:00:00Z" << -0.12 << 0.0 << ra << dec;

    // Separate motions: on the sky as they are; d(R.A.)/dt times cos(+60) = 0.5:
    // -12.00"/hr x 0.5 / 60 = -0.1"/min, +3.00"/hr / 60 = 0.05"/min; 02 00 00.0 = 30 deg.
    QTest::newRow("sky motions \"/min")
        << QByteArray(kSkyMotions) << 1 << "2022-06-02T07:00:00Z" << 0.17 << -0.25 << ra << dec;
    QTest::newRow("coordinate motions \"/hr at Decl. +60")
        << QByteArray(kCoordinateMotions) << 1 << "2022-06-02T07:00:00Z" << -0.1 << 0.05 << 30.0
        << 60.0;

    // 360000.0"/hr glued to magnitude 23.5 = 6000"/min east; the ******** rows are skipped.
    // 12 08 52.4 = 182.2183333 deg, -12 56 59 = -12.9497222 deg.
    QTest::newRow("motion glued to the magnitude, overflow rows")
        << QByteArray(kGluedAndOverflow) << 1 << "2008-10-07T03:00:00Z" << 6000.0 << 0.0
        << 182.21833333333 << -12.94972222222;

    // Time of day and position in the service's other forms: 23.9119 h = 358.6785 deg.
    QTest::newRow("time hhmm") << QByteArray(kHoursMinutes) << 1 << "2022-06-02T07:30:00Z" << e30
                               << n30 << ra << dec;
    QTest::newRow("time hh, rows out of order")
        << QByteArray(kHoursOnly) << 2 << "2022-06-02T07:00:00Z" << e30 << n30 << ra << dec;
    QTest::newRow("decimal R.A. and Decl.")
        << QByteArray(kDecimalPosition) << 1 << "2022-06-02T07:00:00Z" << e30 << n30 << 358.6785
        << 1.808;

    // The same table however it was kept.
    QTest::newRow("links on every row")
        << Page(kLinkedRows) << 2 << "2022-06-02T07:00:00Z" << e30 << n30 << ra << dec;
    QTest::newRow("CR LF and a byte order mark")
        << "\xEF\xBB\xBF" + CrLf(kTotalPerMinute) << 2 << "2022-06-02T07:00:00Z" << e30 << n30 << ra
        << dec;
    QTest::newRow("tabs") << WithTabs(kTotalPerMinute) << 2 << "2022-06-02T07:00:00Z" << e30 << n30
                          << ra << dec;
}

void TestMpc::rows() {
    QFETCH(QByteArray, text);
    QFETCH(int, count);
    QFETCH(QString, firstTime);
    QFETCH(double, east);
    QFETCH(double, north);
    QFETCH(double, raDegrees);
    QFETCH(double, decDegrees);

    const auto result = Read(text);
    QVERIFY2(std::holds_alternative<Table>(result), qPrintable(MessageOf(result)));
    const Table& table = std::get<Table>(result);
    QCOMPARE(table.format, Format::MpcService);
    QCOMPARE(int(table.rows.size()), count);
    for (std::size_t i = 1; i < table.rows.size(); ++i) {
        QVERIFY(table.rows[i - 1].time < table.rows[i].time);
    }
    const Row& row = table.rows.front();
    QCOMPARE(QString::fromStdString(FormatUtcTime(row.time)), firstTime);
    QVERIFY2(Near(row.eastArcsecPerMinute, east),
             qPrintable(QString::number(row.eastArcsecPerMinute, 'g', 17)));
    QVERIFY2(Near(row.northArcsecPerMinute, north),
             qPrintable(QString::number(row.northArcsecPerMinute, 'g', 17)));
    QVERIFY(row.raDegrees && row.decDegrees);
    QVERIFY2(Near(*row.raDegrees, raDegrees), qPrintable(QString::number(*row.raDegrees, 'g', 17)));
    QVERIFY2(Near(*row.decDegrees, decDegrees),
             qPrintable(QString::number(*row.decDegrees, 'g', 17)));
}

void TestMpc::pageFacts_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("site");
    QTest::addColumn<QString>("step");

    QTest::newRow("page for the geocenter") << Page(kTotalPerMinute) << "2022 LA"
                                            << "the geocentre"
                                            << "1 hour";
    QTest::newRow("page for a site") << Page(kTotalPerMinute, "observatory code G37") << "2022 LA"
                                     << "observatory code G37"
                                     << "1 hour";
    QTest::newRow("copied table: its designation line") << QByteArray(kTotalPerMinute) << "K22L00A"
                                                        << ""
                                                        << "1 hour";
    QTest::newRow("copied page text") << "Minor Planet Ephemeris Service: Query Results\n"
                                         "Ephemerides are for the geocenter.\n\n" +
                                             QByteArray(kGaps)
                                      << ""
                                      << "the geocentre"
                                      << "10 minutes";
    QTest::newRow("rows left out keep the step") << QByteArray(kGaps) << ""
                                                 << ""
                                                 << "10 minutes";
    QTest::newRow("irregular times: no step") << QByteArray(kIrregular) << ""
                                              << ""
                                              << "";
}

void TestMpc::pageFacts() {
    QFETCH(QByteArray, text);
    QFETCH(QString, target);
    QFETCH(QString, site);
    QFETCH(QString, step);

    const auto result = Read(text);
    QVERIFY2(std::holds_alternative<Table>(result), qPrintable(MessageOf(result)));
    const Table& table = std::get<Table>(result);
    QCOMPARE(QString::fromStdString(table.target), target);
    QCOMPARE(QString::fromStdString(table.site), site);
    QCOMPARE(QString::fromStdString(table.step), step);
}

void TestMpc::refused_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("line");

    const QString noTable =
        QString::fromLatin1(kNoTableFound.data(), qsizetype(kNoTableFound.size()));
    QByteArray withoutUnits(kTotalPerMinute);
    const qsizetype units = withoutUnits.indexOf("            h m s");
    withoutUnits.remove(units, withoutUnits.indexOf('\n', units) + 1 - units);

    // Not a table, or no table where the service's page would hold one.
    QTest::newRow("page without a table")
        << QByteArray(kNoTablePage)
        << noTable + "; the Minor Planet Center's page says: No current elements found for 2099 ZZ."
        << 0;
    QTest::newRow("page of vectors") << Page("VECTORS: Heliocentric vectors/AU\n") << noTable << 0;
    QTest::newRow("prose naming the service")
        << QByteArray("I asked the Minor Planet Ephemeris Service for 2P.\n") << noTable << 0;
    QTest::newRow("table copied without its units line") << withoutUnits << noTable << 0;

    // Tables that cannot be used as they stand.
    QTest::newRow("two tables")
        << QByteArray(kTotalPerMinute) + "\n" + kTotalPerMinute
        << "the text holds 2 MPC ephemeris tables (from lines 2 and 8): keep only the one to use"
        << 8;
    QTest::newRow("no motion column")
        << QByteArray(
               "Date       UT      R.A. (J2000) Decl.    Delta\n"
               "            h m s                        3-sig/\" P.A.\n")
        << "the MPC table has no motion column in \"/sec, \"/min, \"/hr or °/day" << 2;
    QTest::newRow("spacing lost")
        << QByteArray(
               "Date UT R.A. (J2000) Decl. Delta r El. Ph. V Sky Motion\n"
               " h m s \"/min P.A.\n"
               "2022 06 02 070000 23 54 43.0 +01 48 30 4.229 4.900 125.1 9.8 21.0 1.20 "
               "030.0\n")
        << "the MPC table's motion heading does not stand above its units: copy the table with "
           "its spacing"
        << 2;
    QTest::newRow("every motion an overflow mark")
        << QByteArray(kGluedAndOverflow).replace("23.5360000.0", "23.5********")
        << "no row of the MPC table has a motion: each is blank or an overflow mark (********)"
        << 1;

    // A row at fault, named by its line.
    QTest::newRow("two motions at one time")
        << QByteArray(kTotalPerMinute).replace("080000", "070000")
        << "the table gives two different rates for 2022-06-02 07:00:00 UTC: keep one of those rows"
        << 0;
    QTest::newRow("no such date")
        << QByteArray(kTotalPerMinute).replace("2022 06 02 070000", "2022 02 30 070000")
        << "no such date or time \"2022 02 30 070000\"" << 5;
    QTest::newRow("motion that is no number") << QByteArray(kTotalPerMinute).replace("1.20", "1.2O")
                                              << "no number in the motion column: \"1.2O\"" << 5;
    QTest::newRow("row at fault in a page")
        << Page(QByteArray(kTotalPerMinute).replace("1.30", "1,3x"))
        << "no number in the motion column: \"1,3x\"" << 17;
}

void TestMpc::refused() {
    QFETCH(QByteArray, text);
    QFETCH(QString, message);
    QFETCH(int, line);

    const auto result = Read(text);
    QVERIFY(std::holds_alternative<ReadError>(result));
    QCOMPARE(MessageOf(result), message);
    QCOMPARE(std::get<ReadError>(result).line, line);
}

void TestMpc::samples_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("count");  // -1: no table
    QTest::addColumn<QString>("site");
    QTest::addColumn<QString>("step");                // from the rows' times, by hand
    QTest::addColumn<double>("firstArcsecPerHour");  // as the page prints it
    QTest::addColumn<QString>("sameRatesAs");        // a page of the same rows in another form

    if (EphemerisSamplesFolder(PELINDRA_SOURCE_DIR).isEmpty()) {
        QSKIP("no recorded ephemerides in shared/ephemeris-samples");
    }
    // The pages say "the geocenter"; Pelindra says "the geocentre".
    const QString geocentre = "the geocentre", g37 = "observatory code G37";
    const QString day = "1 day";
    const QString encke = "mpes_2P_ephemeris_500-a-t__astroquery.html";
    QTest::newRow("2P total") << encke << 21 << geocentre << day << 27.93 << "";
    QTest::newRow("2P sky motions") << "mpes_2P_ephemeris_500-a-s__astroquery.html" << 21
                                    << geocentre << day << 27.92 << encke;
    QTest::newRow("2P coordinate motions") << "mpes_2P_ephemeris_500-a-c__astroquery.html" << 21
                                           << geocentre << day << 27.93 << encke;
    QTest::newRow("2P from a site")
        << "mpes_2P_ephemeris_G37-a-t__astroquery.html" << 21 << g37 << day << 27.66 << "";
    QTest::newRow("2024 AA, links on every row")
        << "mpes_2024AA_ephemeris_500-a-t__astroquery.html" << 21 << geocentre << day << 10.21
        << "";
    QTest::newRow("2024 AA from a site")
        << "mpes_2024AA_ephemeris_G37-a-t__astroquery.html" << 21 << g37 << day << 11.41 << "";
    QTest::newRow("2008 TC3, glued and overflowing")
        << "mpes_2008TC3_ephemeris_500-a-t__astroquery.html" << 26 << geocentre << "10 minutes"
        << 8954.03 << "";
    QTest::newRow("2018 AG37, very slow")
        << "mpes_2018AG37_ephemeris_500-a-t__astroquery.html" << 21 << geocentre << day << 0.58
        << "";
    QTest::newRow("2008 JG, no table")
        << "mpes_2008JG_ephemeris_500-a-t__astroquery.html" << -1 << "" << "" << 0.0 << "";
}

void TestMpc::samples() {
    QFETCH(QString, file);
    QFETCH(int, count);
    QFETCH(QString, site);
    QFETCH(QString, step);
    QFETCH(double, firstArcsecPerHour);
    QFETCH(QString, sameRatesAs);

    const auto read = [](const QString& name) {
        QFile f(EphemerisSamplesFolder(PELINDRA_SOURCE_DIR) + "/" + name);
        return f.open(QIODevice::ReadOnly) ? Read(f.readAll())
                                           : ReadError{"cannot open " + name.toStdString()};
    };
    const auto result = read(file);
    if (count < 0) {
        QVERIFY(MessageOf(result).startsWith(
            QString::fromLatin1(kNoTableFound.data(), qsizetype(kNoTableFound.size()))));
        QVERIFY2(MessageOf(result).contains("No current elements found"),
                 qPrintable(MessageOf(result)));
        return;
    }
    QVERIFY2(std::holds_alternative<Table>(result), qPrintable(MessageOf(result)));
    const Table& table = std::get<Table>(result);
    QCOMPARE(int(table.rows.size()), count);
    QCOMPARE(QString::fromStdString(table.site), site);
    QCOMPARE(QString::fromStdString(table.step), step);
    QVERIFY(!table.target.empty());
    const Row& first = table.rows.front();
    // The page prints the total motion with four or five digits: agree to its last one.
    const double firstMotion =
        std::hypot(first.eastArcsecPerMinute, first.northArcsecPerMinute) * 60;
    QVERIFY2(std::fabs(firstMotion - firstArcsecPerHour) <=
                 0.006 * std::max(1.0, firstArcsecPerHour / 100),
             qPrintable(QString::number(firstMotion)));
    for (const Row& row : table.rows) {
        QVERIFY(std::isfinite(row.eastArcsecPerMinute) && std::isfinite(row.northArcsecPerMinute));
        QVERIFY(row.decDegrees && std::fabs(*row.decDegrees) <= 90);
    }

    if (sameRatesAs.isEmpty()) return;
    const auto other = read(sameRatesAs);
    QVERIFY2(std::holds_alternative<Table>(other), qPrintable(MessageOf(other)));
    const std::vector<Row>& rows = std::get<Table>(other).rows;
    QCOMPARE(rows.size(), table.rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        QCOMPARE(rows[i].time, table.rows[i].time);
        // Each page rounds to 0.01"/hr and the P.A. to 0.1 deg (0.07"/hr at 37"/hr).
        QVERIFY(std::fabs(rows[i].eastArcsecPerMinute - table.rows[i].eastArcsecPerMinute) < 0.002);
        QVERIFY(std::fabs(rows[i].northArcsecPerMinute - table.rows[i].northArcsecPerMinute) <
                0.002);
    }
}

void TestMpc::cutAndHoles_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("last");  // the last row with a motion
    QTest::addColumn<double>("lastAngle");
    QTest::addColumn<QStringList>("holes");
    QTest::addColumn<bool>("cut");

    // As the service printed 2008 TC3 minutes before impact: overflow marks between motions.
    const QByteArray impact =
        R"(Date       UT      R.A. (J2000) Decl.    Delta     r     El.    Ph.   V      Sky Motion
            h m s                                                            "/hr     P.A.
2008 10 07 024000 03 57 18.0 +23 24 40   0.00006 0.999  132.0  48.0  11.3871966.5    089.7
2008 10 07 025000 08 00 22.2 +12 14 07   0.00004 0.999   74.6 105.4  12.4********    110.1
2008 10 07 030000 12 08 52.4 -12 56 59   0.00005 0.999   12.9 167.1  23.5325022.4    289.7
2008 10 07 031000 11 18 54.0 -08 15 25   0.00009 0.999   23.2 156.8  20.5********    112.0
2008 10 07 032000 16 39 04.8 -23 07 11   0.00022 0.999   57.3 122.6  17.5176735.9    086.2
)";
    const QStringList impactHoles{"2008-10-07T02:50:00Z", "2008-10-07T03:10:00Z"};
    QTest::newRow("overflow marks are holes")
        << impact << 3 << "2008-10-07T03:20:00Z" << 86.2 << impactHoles << false;
    QTest::newRow("overflow marks are holes, in a page")
        << Page(impact) << 3 << "2008-10-07T03:20:00Z" << 86.2 << impactHoles << false;

    // 2P/Encke's P.A. of 251.5 must not be read as 25.
    const QByteArray encke =
        R"(Date       UT      R.A. (J2000) Decl.    Delta     r     El.    Ph.   m1     Sky Motion
            h m s                                                            "/hr     P.A.
2018 07 30 174614 23 06 24.8 -05 08 06   3.181   4.026  141.6   9.0  22.6   27.93    251.6
2018 07 31 174614 23 05 41.8 -05 11 41   3.173   4.028  142.7   8.8  22.6   28.54    251.5
)";
    const QByteArray cut = encke.left(encke.size() - 4);  // "251.5\n" less three characters
    QTest::newRow("copied table cut three characters short")
        << cut << 1 << "2018-07-30T17:46:14Z" << 251.6 << QStringList() << true;
    QTest::newRow("copied table cut, a line end added")
        << cut + "\n"
        << 1 << "2018-07-30T17:46:14Z" << 251.6 << QStringList() << true;
    QTest::newRow("copied table without its last line end")
        << encke.left(encke.size() - 1) << 1 << "2018-07-30T17:46:14Z" << 251.6 << QStringList()
        << true;
    QTest::newRow("page cut inside the table")
        << Page(encke).left(Page(encke).indexOf("251.5") + 3) << 1 << "2018-07-30T17:46:14Z"
        << 251.6 << QStringList() << true;
    QTest::newRow("whole copied table")
        << encke << 2 << "2018-07-31T17:46:14Z" << 251.5 << QStringList() << false;
    QTest::newRow("row without motions between two")
        << QByteArray(encke).replace("22.6   27.93    251.6", "22.6") +
               "2018 08 01 174614 23 04 57.9 -05 15 21   3.165   4.029  143.9   8.5  22.6   29.15  "
               "  251.4\n"
        << 2 << "2018-08-01T17:46:14Z" << 251.4 << QStringList{"2018-07-30T17:46:14Z"} << false;
}

void TestMpc::cutAndHoles() {
    QFETCH(QByteArray, text);
    QFETCH(int, count);
    QFETCH(QString, last);
    QFETCH(double, lastAngle);
    QFETCH(QStringList, holes);
    QFETCH(bool, cut);

    const auto result = Read(text);
    QVERIFY2(std::holds_alternative<Table>(result), qPrintable(MessageOf(result)));
    const Table& table = std::get<Table>(result);
    QCOMPARE(int(table.rows.size()), count);
    const Row& row = table.rows.back();
    QCOMPARE(QString::fromStdString(FormatUtcTime(row.time)), last);
    const double angle = std::atan2(row.eastArcsecPerMinute, row.northArcsecPerMinute) * 180 / M_PI;
    QVERIFY2(std::fabs(std::remainder(angle - lastAngle, 360.0)) < 1e-9,
             qPrintable(QString::number(angle)));
    QStringList holeTimes;
    for (const UtcMs hole : table.holes) holeTimes << QString::fromStdString(FormatUtcTime(hole));
    QCOMPARE(holeTimes, holes);
    QCOMPARE(table.cutShort, cut);
}

QTEST_GUILESS_MAIN(TestMpc)
#include "tst_mpc.moc"
