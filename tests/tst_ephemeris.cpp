#include <QtTest>
#include <cmath>
#include <limits>
#include <numbers>

#include "ephemeris/Rate.h"
#include "ephemeris/Reader.h"
#include "ephemeris/StepText.h"
#include "ephemeris/TableRules.h"
#include "ephemeris/UtcTime.h"
#include "tests/support/TestFiles.h"

using namespace Pelindra::Ephemeris;

namespace {

constexpr double kNone = std::numeric_limits<double>::quiet_NaN();

std::string_view View(const QByteArray& bytes) {
    return {bytes.constData(), std::size_t(bytes.size())};
}

// A Horizons observer table as its web application saves it: the header block, with `more`
// lines in it, the column header line on line 9 (without `more`), $$SOE on line 11, the rows.
QByteArray Horizons(const QByteArray& columns, const QByteArrayList& rows,
                    const QByteArray& more = {}) {
    const QByteArray rule = QByteArray(79, '*') + "\n";
    QByteArray text = rule +
                      "Ephemeris / WWW_USER Mon Dec  7 20:00:00 2026 Pasadena, USA      / "
                      "Horizons\n" +
                      rule +
                      "Target body name: 433 Eros (A898 PA)              {source: JPL#659}\n"
                      "Center-site name: Teide Observatory, Tenerife\n" +
                      rule + "Step-size       : 10 minutes\n" + more + rule + columns + "\n" +
                      rule + "$$SOE\n";
    for (const QByteArray& row : rows) text += row + "\n";
    return text + "$$EOE\n" + rule + "Column meaning:\n\n  NOTE: \"n.a.\" in output means ...\n";
}

// As a page that is not preformatted shows a table: each run of blanks one blank.
QByteArray Collapsed(QByteArray text) {
    while (text.contains("  ")) text.replace("  ", " ");
    return text;
}

QByteArray ApiReply(const QByteArray& result) {
    const QJsonObject signature{{"source", "NASA/JPL Horizons API"}, {"version", "1.2"}};
    return QJsonDocument(QJsonObject{{"signature", signature}, {"result", QString(result)}})
        .toJson(QJsonDocument::Compact);
}

// Quantity 3 with fractional seconds, as the API's text reply gives it from a ground site.
const QByteArray kQuantity3Columns =
    " Date__(UT)__HR:MN:SC.fff     R.A._________(ICRF)_________DEC  dRA*cosD d(DEC)/dt  a-mass "
    "mag_ex";
const QByteArray kQuantity3Row =
    " 2026-Dec-07 21:30:15.250 *m  08 21 29.556113 +60 00 00.00000  60.00000 -30.00000   1.127  "
    "0.122";
// Quantity 47 among others, as the web application gives it for the geocentre.
const QByteArray kQuantity47Columns =
    " Date__(UT)__HR:MN     R.A._____(ICRF)_____DEC    APmag   S-brt             delta      "
    "deldot     S-O-T /r     S-T-O  Sky_motion  Sky_mot_PA  RelVel-ANG  Lun_Sky_Brt  sky_SNR";
const QByteArray kQuantity47Row =
    " 2026-Dec-07 21:30     08 21 29.56 -00 30 00.0   15.855   2.394  1.70183714785570 "
    "-17.9659181   13.5270 /T   18.0648   2.0000000   30.000000   -18.92231         n.a.     "
    "n.a.";
const QByteArray kShortColumns =
    " Date__(UT)__HR:MN     R.A._____(ICRF)_____DEC  dRA*cosD d(DEC)/dt";
const QByteArray kShortRow = " 2026-Dec-07 21:30 *m  08 21 29.56 +60 00 00.0  60.00000 -30.00000";

QByteArray ShortRowAt(const QByteArray& dateAndTime) {
    return QByteArray(kShortRow).replace(0, 18, dateAndTime.rightJustified(18));
}

// Ten minutes apart from 21:00 to 21:40; at 21:20 (n.a.) and 21:30 (an overflow) no rate.
const QByteArray kGaps = Horizons(
    kShortColumns, {
                       " 2026-Dec-07 21:00 *m  08 21 29.56 +60 00 00.0  60.00000   0.00000",
                       " 2026-Dec-07 21:10 *m  08 21 29.56 +60 00 00.0 120.00000  60.00000",
                       " 2026-Dec-07 21:20 *m  08 21 29.56 +60 00 00.0      n.a.      n.a.",
                       " 2026-Dec-07 21:30 *m  08 21 29.56 +60 00 00.0 *********  90.00000",
                       " 2026-Dec-07 21:40 *m  08 21 29.56 +60 00 00.0 240.00000 180.00000",
                   });
// From 359 to 1 degree across north.
const QByteArray kAcrossNorth =
    Horizons(" Date__(UT)__HR:MN     R.A._____(ICRF)_____DEC  Sky_motion  Sky_mot_PA",
             {" 2026-Dec-07 22:00     08 21 29.56 +60 00 00.0   1.0000000   359.00000",
              " 2026-Dec-07 22:10     08 21 29.56 +60 00 00.0   1.0000000   1.0000000"});

// A Horizons table ending at `end` (inside its last row), without $$EOE.
QByteArray CutAt(const QByteArray& table, const QByteArray& end) {
    return table.left(table.indexOf(end) + end.size());
}

// Windows' "Unicode" text.
QByteArray Utf16(const QByteArray& utf8, bool bigEndian, bool mark) {
    QByteArray bytes;
    if (mark) bytes += bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (const QChar c : QString::fromUtf8(utf8)) {
        const char high = char(c.unicode() >> 8), low = char(c.unicode() & 0xFF);
        bytes += bigEndian ? QByteArray{&high, 1} + QByteArray{&low, 1}
                           : QByteArray{&low, 1} + QByteArray{&high, 1};
    }
    return bytes;
}

}  // namespace

class TestEphemeris : public QObject {
    Q_OBJECT

  private slots:
    void readsTables_data();
    void readsTables();
    void refusesTables_data();
    void refusesTables();
    void rateAt_data();
    void rateAt();
    void rateAtHoles_data();
    void rateAtHoles();
    void skyMotionAgreesWithRates_data();
    void skyMotionAgreesWithRates();
    void utcTimeText_data();
    void utcTimeText();
    void readsRecordedSamples();
    void cutTablesAndHoles_data();
    void cutTablesAndHoles();
    void stepText_data();
    void stepText();
    void statedStepText_data();
    void statedStepText();
    void siteText_data();
    void siteText();
    void recordedTableFacts_data();
    void recordedTableFacts();
};

void TestEphemeris::readsTables_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("format");
    QTest::addColumn<int>("rows");
    QTest::addColumn<QByteArray>("time");  // of the first row
    QTest::addColumn<double>("east");      // arcsec per minute
    QTest::addColumn<double>("north");
    QTest::addColumn<double>("ra");  // degrees; kNone: not kept
    QTest::addColumn<double>("dec");

    const int text = int(Format::HorizonsText);
    const int csv = int(Format::HorizonsCsv);
    const int json = int(Format::HorizonsJson);
    // dRA*cosD 60"/hr at Dec +60 is 1"/min east: cos(Dec) is in it already.
    const QByteArray quantity3 = "API VERSION: 1.2\nAPI SOURCE: NASA/JPL Horizons API\n\n" +
                                 Horizons(kQuantity3Columns, {kQuantity3Row});
    const QByteArray quantity47 = Horizons(kQuantity47Columns, {kQuantity47Row});
    const double ra3 = 125.37315047083334;  // 08 21 29.556113
    const double ra = 125.37316666666666;   // 08 21 29.56
    const double sqrt3 = std::sqrt(3.0);

    // Plain text.
    QTest::newRow("quantity 3, API lines")
        << quantity3 << text << 1 << QByteArray("2026-12-07T21:30:15.250Z") << 1.0 << -0.5 << ra3
        << 60.0;
    QTest::newRow("quantity 47, blank marks, -00 Dec")
        << quantity47 << text << 1 << QByteArray("2026-12-07T21:30:00Z") << 1.0 << sqrt3 << ra
        << -0.5;
    QTest::newRow("both quantities: 3 wins")
        << Horizons(
               " Date__(UT)__HR:MN     R.A._____(ICRF)_____DEC  dRA*cosD d(DEC)/dt  "
               "Sky_motion  Sky_mot_PA",
               {" 2026-Dec-07 21:30 Cm  08 21 29.56 +60 00 00.0  60.00000 -30.00000   "
                "9.9999999   180.00000"})
        << text << 1 << QByteArray("2026-12-07T21:30:00Z") << 1.0 << -0.5 << ra << 60.0;
    QTest::newRow("calendar and Julian date: the JD's seconds")
        << Horizons(
               " Date__(UT)__HR:MN     Date_________JDUT     R.A.___(ICRF)___DEC  dRA*cosD "
               "d(DEC)/dt",
               {" 2026-Dec-07 21:30 2461382.396006944 *m      125.37315  60.00000  60.00000 "
                "-30.00000"})
        << text << 1 << QByteArray("2026-12-07T21:30:15Z") << 1.0 << -0.5 << 125.37315 << 60.0;
    QTest::newRow("Julian date only, ICRF rates, no position")
        << Horizons(" Date_________JDUT  I_dRA*cosD I_d(DEC)/dt",
                    {" 2461382.395833333  m 60.00000   -30.00000"})
        << text << 1 << QByteArray("2026-12-07T21:30:00Z") << 1.0 << -0.5 << kNone << kNone;
    QTest::newRow("time zone UT+03:00")
        << Horizons(" Date_(ZONE)_HR:MN     R.A._____(ICRF)_____DEC  dRA*cosD d(DEC)/dt",
                    {" 2026-Dec-08 00:30 A   08 21 29.56 +60 00 00.0  60.00000 -30.00000"},
                    "Time zone       : UT+03:00\n")
        << text << 1 << QByteArray("2026-12-07T21:30:00Z") << 1.0 << -0.5 << ra << 60.0;
    QTest::newRow("out of order: sorted")
        << Horizons(kShortColumns, {ShortRowAt(" 2026-Dec-07 21:40"), kShortRow}) << text << 2
        << QByteArray("2026-12-07T21:30:00Z") << 1.0 << -0.5 << ra << 60.0;

    // Dates of the mixed Julian/Gregorian calendar.
    QTest::newRow("Julian calendar before 1582-Oct-15")
        << Horizons(kShortColumns, {ShortRowAt(" 1582-Oct-04 12:00")}) << text << 1
        << QByteArray("1582-10-14T12:00:00Z") << 1.0 << -0.5 << ra << 60.0;
    QTest::newRow("B.C. date: JD 0")
        << Horizons(kShortColumns, {ShortRowAt("b4713-Jan-01 12:00")}) << text << 1
        << QByteArray("-4713-11-24T12:00:00Z") << 1.0 << -0.5 << ra << 60.0;
    QTest::newRow("Gregorian calendar mode")
        << Horizons(kShortColumns, {ShortRowAt(" 1582-Oct-04 12:00")},
                    "Calendar mode   : Gregorian\n")
        << text << 1 << QByteArray("1582-10-04T12:00:00Z") << 1.0 << -0.5 << ra << 60.0;

    // CSV_FORMAT=YES.
    const QByteArray csvDegrees = Horizons(
        " Date__(UT)__HR:MN, Date_________JDUT, , , R.A._(ICRF), DEC_(ICRF),  dRA*cosD, "
        "d(DEC)/dt,  a-mass, mag_ex,",
        {" 2026-Dec-07 21:30, 2461382.396006944, , ,   125.37315,   60.00000,  60.00000, "
         "-30.00000,    n.a.,   n.a.,"});
    QTest::newRow("CSV, degrees, Julian date")
        << csvDegrees << csv << 1 << QByteArray("2026-12-07T21:30:15Z") << 1.0 << -0.5 << 125.37315
        << 60.0;
    const QByteArray csvSexagesimal =
        Horizons(" Date__(UT)__HR:MN:SS, , , R.A._(ICRF), DEC_(ICRF), Sky_motion, Sky_mot_PA,",
                 {" 2026-Dec-07 21:30:15,*,m, 08 21 29.56, -00 30 00.0, 2.0000000, 30.000000,"});
    QTest::newRow("CSV, sexagesimal, marks")
        << csvSexagesimal << csv << 1 << QByteArray("2026-12-07T21:30:15Z") << 1.0 << sqrt3 << ra
        << -0.5;

    // The API's JSON reply.
    QTest::newRow("JSON around text")
        << ApiReply(quantity3) << json << 1 << QByteArray("2026-12-07T21:30:15.250Z") << 1.0 << -0.5
        << ra3 << 60.0;
    QTest::newRow("JSON around CSV")
        << ApiReply(csvDegrees) << json << 1 << QByteArray("2026-12-07T21:30:15Z") << 1.0 << -0.5
        << 125.37315 << 60.0;

    // What editors and clipboards do to a table.
    QTest::newRow("CR LF") << QByteArray(quantity3).replace("\n", "\r\n") << text << 1
                           << QByteArray("2026-12-07T21:30:15.250Z") << 1.0 << -0.5 << ra3 << 60.0;
    QTest::newRow("CR only") << QByteArray(quantity3).replace("\n", "\r") << text << 1
                             << QByteArray("2026-12-07T21:30:15.250Z") << 1.0 << -0.5 << ra3
                             << 60.0;
    QTest::newRow("UTF-16 LE with its mark")
        << Utf16(quantity47, false, true) << text << 1 << QByteArray("2026-12-07T21:30:00Z") << 1.0
        << sqrt3 << ra << -0.5;
    QTest::newRow("UTF-16 BE without a mark, CR LF")
        << Utf16(QByteArray(csvDegrees).replace("\n", "\r\n"), true, false) << csv << 1
        << QByteArray("2026-12-07T21:30:15Z") << 1.0 << -0.5 << 125.37315 << 60.0;
    QTest::newRow("UTF-8 BOM") << "\xEF\xBB\xBF" + quantity47 << text << 1
                               << QByteArray("2026-12-07T21:30:00Z") << 1.0 << sqrt3 << ra << -0.5;
    QTest::newRow("tabs between fields")
        << Horizons(
               " Date__(UT)__HR:MN\tR.A._____(ICRF)_____DEC\tAPmag\tS-brt\tdelta\tdeldot\tS-O-T "
               "/r\tS-T-O\tSky_motion\tSky_mot_PA\tRelVel-ANG\tLun_Sky_Brt\tsky_SNR",
               {" 2026-Dec-07 21:30\t08 21 29.56 -00 30 00.0\t15.855\t2.394\t1.70183714785570 "
                "-17.9659181\t13.5270 /T\t18.0648\t2.0000000\t30.000000\t-18.92231\tn.a.\tn.a."})
        << text << 1 << QByteArray("2026-12-07T21:30:00Z") << 1.0 << sqrt3 << ra << -0.5;
    QTest::newRow("blanks collapsed")
        << Horizons(Collapsed(kQuantity47Columns), {Collapsed(kQuantity47Row)}) << text << 1
        << QByteArray("2026-12-07T21:30:00Z") << 1.0 << sqrt3 << ra << -0.5;
    // The sidereal time takes three words: only the columns tell the fields apart.
    QTest::newRow("tabs to every eighth column")
        << Horizons(
               " Date__(UT)__HR:MN\t R.A._____(ICRF)_____DEC   L_Ap_Sid_Time       dRA*cosD\t"
               "      d(DEC)/dt",
               {" 2026-Dec-07 21:30 *m\t 08 21 29.56 +60 00 00.0   02 17 43.2113       "
                "60.00000\t      -30.00000"})
        << text << 1 << QByteArray("2026-12-07T21:30:00Z") << 1.0 << -0.5 << ra << 60.0;
}

void TestEphemeris::readsTables() {
    QFETCH(QByteArray, text);
    QFETCH(int, format);
    QFETCH(int, rows);
    QFETCH(QByteArray, time);
    QFETCH(double, east);
    QFETCH(double, north);
    QFETCH(double, ra);
    QFETCH(double, dec);

    const auto read = ReadEphemeris(View(text));
    const auto* error = std::get_if<ReadError>(&read);
    QVERIFY2(!error, error ? error->message.c_str() : "");
    const Table& table = std::get<Table>(read);
    QCOMPARE(int(table.format), format);
    QCOMPARE(table.target, std::string("433 Eros (A898 PA)"));
    QCOMPARE(table.site, std::string("Teide Observatory, Tenerife"));
    QCOMPARE(table.step, std::string("10 minutes"));
    QCOMPARE(int(table.rows.size()), rows);
    const Row& row = table.rows.front();
    QCOMPARE(QByteArray::fromStdString(FormatUtcTime(row.time)), time);
    QVERIFY2(std::fabs(row.eastArcsecPerMinute - east) < 1e-9,
             QByteArray::number(row.eastArcsecPerMinute, 'g', 17));
    QVERIFY2(std::fabs(row.northArcsecPerMinute - north) < 1e-9,
             QByteArray::number(row.northArcsecPerMinute, 'g', 17));
    QCOMPARE(row.raDegrees.has_value(), !std::isnan(ra));
    QCOMPARE(row.decDegrees.has_value(), !std::isnan(dec));
    if (row.raDegrees) QVERIFY(std::fabs(*row.raDegrees - ra) < 1e-9);
    if (row.decDegrees) QVERIFY(std::fabs(*row.decDegrees - dec) < 1e-9);
}

void TestEphemeris::refusesTables_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("message");  // a part of it
    QTest::addColumn<int>("line");

    const QByteArray row = kShortRow;
    QTest::newRow("time scale TT")
        << Horizons(QByteArray(kShortColumns).replace("(UT)", "(TT)"), {row})
        << QByteArray("times are in TT, not UT") << 9;
    QTest::newRow("time scale TDB, Julian date")
        << Horizons(" Date_________JD_TDB   R.A.___(ICRF)___DEC  dRA*cosD d(DEC)/dt",
                    {" 2461382.395833333  m  125.37315  60.00000  60.00000 -30.00000"})
        << QByteArray("times are in TDB, not UT") << 9;
    QTest::newRow("time zone not stated")
        << Horizons(QByteArray(kShortColumns).replace("Date__(UT)__", "Date_(ZONE)_"), {row})
        << QByteArray("a time zone its header does not state") << 9;
    QTest::newRow("no rates") << Horizons(
                                     " Date__(UT)__HR:MN     R.A._____(ICRF)_____DEC  a-mass",
                                     {" 2026-Dec-07 21:30 *m  08 21 29.56 +60 00 00.0   1.127"})
                              << QByteArray("ask Horizons for quantity 3 or 47") << 9;
    QTest::newRow("half of quantity 3")
        << Horizons(QByteArray(kShortColumns).replace("d(DEC)/dt", "deldot___"), {row})
        << QByteArray("ask Horizons for quantity 3 or 47") << 9;

    QTest::newRow("month misspelt") << Horizons(kShortColumns, {ShortRowAt(" 2026-Dek-07 21:30")})
                                    << QByteArray("malformed date \"2026-Dek-07 21:30\"") << 12;
    QTest::newRow("no such day") << Horizons(kShortColumns, {ShortRowAt(" 2026-Feb-29 21:30")})
                                 << QByteArray("malformed date") << 12;
    QTest::newRow("a day the reform dropped")
        << Horizons(kShortColumns, {ShortRowAt(" 1582-Oct-10 12:00")})
        << QByteArray("malformed date") << 12;
    QTest::newRow("no year 0 B.C.") << Horizons(kShortColumns, {ShortRowAt("b0000-Jan-01 12:00")})
                                    << QByteArray("malformed date") << 12;
    QTest::newRow("second row's time")
        << Horizons(kShortColumns, {row, ShortRowAt(" 2026-Dec-07 24:00")})
        << QByteArray("malformed date \"2026-Dec-07 24:00\"") << 13;
    QTest::newRow("unreadable rate")
        << Horizons(kShortColumns, {QByteArray(row).replace("60.00000", "1.2.3.45")})
        << QByteArray("cannot read dRA*cosD \"1.2.3.45\"") << 12;
    QTest::newRow("row cut short")
        << Horizons(kShortColumns, {row.left(row.size() - 10)})
        << QByteArray("the row does not fit the column header line 9") << 12;
    QTest::newRow("every rate n.a.")
        << Horizons(kShortColumns, {QByteArray(row).replace("-30.00000", "     n.a."),
                                    QByteArray(row).replace(" 60.00000", "     n.a.")})
        << QByteArray("none of the table's 2 rows has a rate") << 11;
    QTest::newRow("two rates at one time")
        << Horizons(kShortColumns, {ShortRowAt(" 2026-Dec-07 21:20"), kShortRow,
                                    QByteArray(kShortRow).replace("-30.00000", "-29.00000")})
        << QByteArray("two different rates for 2026-12-07 21:30:00 UTC") << 0;
    QTest::newRow("a rate and none at one time")
        << Horizons(kShortColumns,
                    {kShortRow, QByteArray(kShortRow).replace("-30.00000", "     n.a.")})
        << QByteArray("two different rates for 2026-12-07 21:30:00 UTC") << 0;
    QTest::newRow("every row cut")
        << CutAt(Horizons(kShortColumns, {kShortRow}), kShortRow.left(40))
        << QByteArray("the text seems cut off inside a row") << 11;
    QTest::newRow("UTF-16 without a table")
        << Utf16("no table\nhere\n", false, false) << QByteArray("read as UTF-16") << 0;
    QTest::newRow("no rows") << Horizons(kShortColumns, {})
                             << QByteArray("no rows between its start and end markers") << 11;
    QTest::newRow("no column header line")
        << QByteArray("$$SOE\n" + kShortRow + "\n$$EOE\n")
        << QByteArray("no column header line above the table's start marker") << 1;
    QTest::newRow("no table")
        << QByteArray("Dear observer,\nno table today.\n")
        << QByteArray("no ephemeris table found: expected a Horizons table with the lines that "
                      "mark its start and end, or an MPC table")
        << 0;

    // The API: the line at fault is one of the reply's "result".
    QTest::newRow("JSON error")
        << QByteArray(R"({"signature":{"source":"NASA/JPL Horizons API","version":"1.2"},)"
                      R"("error":"Cannot interpret date. Type \"?!\" or try YYYY-Mon-Dy {HH:MM} )"
                      R"(format.\n"})")
        << QByteArray(
               "Horizons replied with an error: Cannot interpret date. Type \"?!\" or try "
               "YYYY-Mon-Dy {HH:MM} format.")
        << 0;
    const QByteArray rule = QByteArray(79, '*') + "\n";
    const QByteArray ambiguous = rule +
                                 " Multiple major-bodies match string \"MARS*\"\n\n"
                                 "  ID#      Name                               Designation\n"
                                 "  -------  ---------------------------------- -----------\n"
                                 "        4  Mars Barycenter\n"
                                 "      499  Mars\n\n"
                                 "   Number of matches =  2. Use ID# to make unique selection.\n" +
                                 rule;
    QTest::newRow("JSON ambiguous target")
        << ApiReply(ambiguous)
        << QByteArray(kNoTableFound.data()) +
               "; Horizons says: Number of matches = 2. Use ID# to make unique selection."
        << 0;
    QTest::newRow("text ambiguous target")
        << "API VERSION: 1.2\nAPI SOURCE: NASA/JPL Horizons API\n\n" + ambiguous
        << QByteArray("Horizons says: Number of matches = 2.") << 0;
    QTest::newRow("JSON row at fault")
        << ApiReply(Horizons(kShortColumns, {ShortRowAt(" 2026-Dek-07 21:30")}))
        << QByteArray("line 12 of the reply's \"result\": malformed date") << 0;
    QTest::newRow("JSON broken off") << QByteArray(R"({"signature":{"source":"NASA/JPL Hor)")
                                     << QByteArray("not a Horizons API reply") << 0;
}

void TestEphemeris::refusesTables() {
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, message);
    QFETCH(int, line);

    const auto read = ReadEphemeris(View(text));
    const auto* error = std::get_if<ReadError>(&read);
    QVERIFY(error);
    QVERIFY2(QByteArray::fromStdString(error->message).contains(message), error->message.c_str());
    // A message for people names no marker of the file format.
    QVERIFY2(!QByteArray::fromStdString(error->message).contains("$$"), error->message.c_str());
    QCOMPARE(error->line, line);
}

void TestEphemeris::rateAt_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("time");
    QTest::addColumn<double>("motion");  // arcsec per minute
    QTest::addColumn<double>("angle");   // degrees
    QTest::addColumn<QByteArray>("error");

    QTest::newRow("first row") << kGaps << QByteArray("2026-12-07T21:00") << 1.0 << 90.0
                               << QByteArray();
    QTest::newRow("at a row") << kGaps << QByteArray("2026-12-07T21:10") << std::sqrt(5.0)
                              << 63.43494882292201 << QByteArray();
    QTest::newRow("between rows") << kGaps << QByteArray("2026-12-07T21:05") << 1.5811388300841898
                                  << 71.56505117707799 << QByteArray();
    // Between 21:10 and 21:40 lie rows of n.a. and an overflow: no rate is known there, so
    // none is made up by interpolating across them.
    QTest::newRow("across n.a. and overflow")
        << kGaps << QByteArray("2026-12-07T21:25") << 0.0 << 0.0
        << QByteArray("no rate from 2026-12-07 21:10:00 UTC to 2026-12-07 21:40:00 UTC");
    QTest::newRow("last row") << kGaps << QByteArray("2026-12-07T21:40") << 5.0 << 53.13010235415598
                              << QByteArray();
    QTest::newRow("before the span")
        << kGaps << QByteArray("2026-12-07T20:59:59.999") << 0.0 << 0.0
        << QByteArray(
               "no rate for 2026-12-07 20:59:59.999 UTC: the ephemeris covers "
               "2026-12-07 21:00:00 UTC to 2026-12-07 21:40:00 UTC");
    QTest::newRow("after the span") << kGaps << QByteArray("2026-12-07T21:40:00.001") << 0.0 << 0.0
                                    << QByteArray("no rate for 2026-12-07 21:40:00.001 UTC");
    // The eastward and northward rates interpolate, never the angle itself.
    QTest::newRow("across north, half way")
        << kAcrossNorth << QByteArray("2026-12-07T22:05") << std::cos(std::numbers::pi / 180) << 0.0
        << QByteArray();
    QTest::newRow("across north, a quarter")
        << kAcrossNorth << QByteArray("2026-12-07T22:02:30") << 0.9998857735422386
        << 359.4999619199226 << QByteArray();
}

void TestEphemeris::rateAt() {
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, time);
    QFETCH(double, motion);
    QFETCH(double, angle);
    QFETCH(QByteArray, error);

    const auto read = ReadEphemeris(View(text));
    QVERIFY(std::holds_alternative<Table>(read));
    const std::optional<UtcMs> at = ParseUtcTime(View(time));
    QVERIFY(at);
    const auto rate = RateAt(std::get<Table>(read), *at);
    if (!error.isEmpty()) {
        QVERIFY(std::holds_alternative<std::string>(rate));
        QVERIFY2(QByteArray::fromStdString(std::get<std::string>(rate)).contains(error),
                 std::get<std::string>(rate).c_str());
        return;
    }
    QVERIFY(std::holds_alternative<Rate>(rate));
    const Rate& r = std::get<Rate>(rate);
    QVERIFY2(std::fabs(r.MotionArcsecPerMinute() - motion) < 1e-9,
             QByteArray::number(r.MotionArcsecPerMinute(), 'g', 17));
    // Angles compare on the circle: 359.9999999 is next to 0.
    const double apart = std::fabs(std::remainder(r.PositionAngleDegrees() - angle, 360.0));
    QVERIFY2(apart < 1e-9, QByteArray::number(r.PositionAngleDegrees(), 'g', 17));
}

void TestEphemeris::rateAtHoles_data() {
    QTest::addColumn<QByteArray>("time");
    QTest::addColumn<double>("east");  // "/min; NaN: refused
    QTest::addColumn<QByteArray>("error");

    const double none = std::nan("");
    const QByteArray gap = "no rate from 2008-10-07 02:30:00 UTC to 2008-10-07 03:00:00 UTC: the "
                           "ephemeris gives none there";
    QTest::newRow("on the row before the gap") << QByteArray("2008-10-07T02:30") << 2.0 << QByteArray();
    QTest::newRow("just after it") << QByteArray("2008-10-07T02:30:00.001") << none << gap;
    QTest::newRow("on a row without a rate") << QByteArray("2008-10-07T02:40") << none << gap;
    QTest::newRow("between two without") << QByteArray("2008-10-07T02:45") << none << gap;
    QTest::newRow("just before the row after") << QByteArray("2008-10-07T02:59:59") << none << gap;
    QTest::newRow("on the row after the gap") << QByteArray("2008-10-07T03:00") << 5.0 << QByteArray();
    QTest::newRow("between rows with rates") << QByteArray("2008-10-07T02:25") << 1.5 << QByteArray();
}

// Rows the ephemeris lists without a rate (between 02:30 and 03:00 here) leave no rate from
// the row before them to the row after them: nothing is interpolated across.
void TestEphemeris::rateAtHoles() {
    QFETCH(QByteArray, time);
    QFETCH(double, east);
    QFETCH(QByteArray, error);

    const UtcMs start = *ParseUtcTime("2008-10-07T02:20");
    constexpr UtcMs kMinute = 60'000;
    Table table;
    table.rows = {Row{start, 1, 0, {}, {}}, Row{start + 10 * kMinute, 2, 0, {}, {}},
                  Row{start + 40 * kMinute, 5, 0, {}, {}}, Row{start + 50 * kMinute, 6, 0, {}, {}}};
    table.holes = {start + 20 * kMinute, start + 30 * kMinute};
    const auto rate = RateAt(table, *ParseUtcTime(View(time)));
    if (std::isnan(east)) {
        QVERIFY(std::holds_alternative<std::string>(rate));
        QCOMPARE(QByteArray::fromStdString(std::get<std::string>(rate)), error);
        return;
    }
    QVERIFY(std::holds_alternative<Rate>(rate));
    QCOMPARE(std::get<Rate>(rate).eastArcsecPerMinute, east);
}

void TestEphemeris::skyMotionAgreesWithRates_data() {
    QTest::addColumn<QByteArray>("raRate");  // dRA*cosD, arcsec per hour
    QTest::addColumn<QByteArray>("decRate");
    QTest::addColumn<QByteArray>("motion");  // Sky_motion, arcsec per minute
    QTest::addColumn<QByteArray>("angle");   // Sky_mot_PA, degrees

    QTest::newRow("north-east") << QByteArray("152.95700") << QByteArray("45.54156")
                                << QByteArray("2.6598808") << QByteArray("73.419577");
    QTest::newRow("south-east") << QByteArray("35.00000") << QByteArray("-92.40000")
                                << QByteArray("1.6467780") << QByteArray("159.253920");
    QTest::newRow("south-west") << QByteArray("-26.49071") << QByteArray("-8.83053")
                                << QByteArray("0.4653959") << QByteArray("251.564480");
    QTest::newRow("north-west") << QByteArray("-0.62830") << QByteArray("1.63000")
                                << QByteArray("0.0291150") << QByteArray("338.920338");
}

// One row with quantities 3 and 47 as Horizons computes them: read once by quantity 3 and
// once with its titles hidden, by quantity 47, it gives the same motion.
void TestEphemeris::skyMotionAgreesWithRates() {
    QFETCH(QByteArray, raRate);
    QFETCH(QByteArray, decRate);
    QFETCH(QByteArray, motion);
    QFETCH(QByteArray, angle);

    const QByteArray columns =
        " Date__(UT)__HR:MN     R.A._____(ICRF)_____DEC  dRA*cosD d(DEC)/dt  Sky_motion  "
        "Sky_mot_PA";
    const QByteArray row = " 2026-Dec-07 21:30     08 21 29.56 +17 31 56.5" +
                           raRate.rightJustified(10) + decRate.rightJustified(10) +
                           motion.rightJustified(12) + angle.rightJustified(12);
    const auto both = ReadEphemeris(View(Horizons(columns, {row})));
    const QByteArray hidden = QByteArray(columns).replace("dRA*cosD", "xRA*cosD");
    const auto only47 = ReadEphemeris(View(Horizons(hidden, {row})));
    QVERIFY(std::holds_alternative<Table>(both) && std::holds_alternative<Table>(only47));
    const Row& by3 = std::get<Table>(both).rows.front();
    const Row& by47 = std::get<Table>(only47).rows.front();

    const Rate rate{by3.eastArcsecPerMinute, by3.northArcsecPerMinute};
    QVERIFY(std::fabs(rate.MotionArcsecPerMinute() - motion.toDouble()) < 1e-7);
    QVERIFY(std::fabs(rate.PositionAngleDegrees() - angle.toDouble()) < 1e-5);
    // The printed digits: 1e-7"/min of motion, 1e-6 degree of angle, 1e-5"/hr of rate.
    QVERIFY(std::fabs(by3.eastArcsecPerMinute - by47.eastArcsecPerMinute) < 3e-7);
    QVERIFY(std::fabs(by3.northArcsecPerMinute - by47.northArcsecPerMinute) < 3e-7);
}

void TestEphemeris::utcTimeText_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("formatted");  // empty: refused
    QTest::addColumn<QByteArray>("shown");      // as windows and messages write it

    QTest::newRow("minutes") << QByteArray("2026-12-07T21:30") << QByteArray("2026-12-07T21:30:00Z")
                         << QByteArray("2026-12-07 21:30:00 UTC");
    QTest::newRow("blank, seconds") << QByteArray("2026-12-07 21:30:15") << QByteArray("2026-12-07T21:30:15Z")
                         << QByteArray("2026-12-07 21:30:15 UTC");
    QTest::newRow("fraction, Z") << QByteArray("2025-11-12T16:43:42.812Z") << QByteArray("2025-11-12T16:43:42.812Z")
                         << QByteArray("2025-11-12 16:43:42.812 UTC");
    QTest::newRow("as the windows write it") << QByteArray("2026-12-07 16:02:45 UTC") << QByteArray("2026-12-07T16:02:45Z")
                         << QByteArray("2026-12-07 16:02:45 UTC");
    QTest::newRow("before 1970") << QByteArray("1969-12-31T23:59:59.999Z") << QByteArray("1969-12-31T23:59:59.999Z")
                         << QByteArray("1969-12-31 23:59:59.999 UTC");
    QTest::newRow("leap day") << QByteArray("2028-02-29T00:00") << QByteArray("2028-02-29T00:00:00Z")
                         << QByteArray("2028-02-29 00:00:00 UTC");
    QTest::newRow("no leap day") << QByteArray("2026-02-29T00:00") << QByteArray("")
                         << QByteArray("");
    QTest::newRow("no time") << QByteArray("2026-12-07") << QByteArray("")
                         << QByteArray("");
    QTest::newRow("hour 24") << QByteArray("2026-12-07T24:00") << QByteArray("")
                         << QByteArray("");
    QTest::newRow("second 60") << QByteArray("2026-12-07T21:30:60") << QByteArray("")
                         << QByteArray("");
    QTest::newRow("point without digits") << QByteArray("2026-12-07T21:30:15.") << QByteArray("")
                         << QByteArray("");
    QTest::newRow("one-digit month") << QByteArray("2026-1-07T21:30") << QByteArray("")
                         << QByteArray("");
    QTest::newRow("zone offset") << QByteArray("2026-12-07T21:30+01:00") << QByteArray("")
                         << QByteArray("");
    QTest::newRow("empty") << QByteArray("") << QByteArray("")
                         << QByteArray("");
}

void TestEphemeris::utcTimeText() {
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, formatted);
    QFETCH(QByteArray, shown);

    const std::optional<UtcMs> time = ParseUtcTime(View(text));
    if (formatted.isEmpty()) {
        QVERIFY(!time);
        return;
    }
    QVERIFY(time);
    QCOMPARE(QByteArray::fromStdString(FormatUtcTime(*time)), formatted);
    QCOMPARE(ParseUtcTime(View(formatted)), time);
    QCOMPARE(QByteArray::fromStdString(UtcTimeText(*time)), shown);
    QCOMPARE(ParseUtcTime(View(shown)), time);
    QCOMPARE(QByteArray::fromStdString(UtcClockText(*time)), shown.mid(11, 5) + " UTC");
}

// Real Horizons tables, when the recorded ones lie beside the project: each gives rows, and
// its rates agree with how the position moves from row to row, which a sign, a unit or an
// axis taken wrongly would break.
void TestEphemeris::readsRecordedSamples() {
    const QString samples = EphemerisSamplesFolder(PELINDRA_SOURCE_DIR);
    if (samples.isEmpty()) QSKIP("no recorded ephemerides in shared/ephemeris-samples");
    const QDir folder(samples);
    const QStringList names = folder.entryList({QStringLiteral("horizons_*")}, QDir::Files);
    QVERIFY(!names.isEmpty());
    for (const QString& name : names) {
        const auto read = ReadEphemerisFile(folder.filePath(name).toStdString());
        const auto* error = std::get_if<ReadError>(&read);
        QVERIFY2(!error, error ? error->message.c_str() : "");
        const std::vector<Row>& rows = std::get<Table>(read).rows;
        QVERIFY2(!rows.empty(), qPrintable(name));
        for (const Row& row : rows) {
            QVERIFY2(std::hypot(row.eastArcsecPerMinute, row.northArcsecPerMinute) < 100,
                     qPrintable(name));
        }
        // Over an hour at least, so the positions' last digits do not matter.
        std::size_t later = 0;
        for (std::size_t i = 0; i < rows.size(); ++i) {
            later = std::max(later, i + 1);
            while (later < rows.size() && rows[later].time - rows[i].time < 3'600'000) ++later;
            if (later == rows.size()) break;
            const Row& a = rows[i];
            const Row& b = rows[later];
            QVERIFY(a.raDegrees && b.raDegrees && a.decDegrees && b.decDegrees);
            const double minutes = double(b.time - a.time) / 60'000;
            const double cosDec =
                std::cos((*a.decDegrees + *b.decDegrees) / 2 * std::numbers::pi / 180);
            const double east =
                std::remainder(*b.raDegrees - *a.raDegrees, 360.0) * 3600 * cosDec / minutes;
            const double north = (*b.decDegrees - *a.decDegrees) * 3600 / minutes;
            double meanEast = 0, meanNorth = 0;
            for (std::size_t k = i; k <= later; ++k) {
                meanEast += rows[k].eastArcsecPerMinute / double(later - i + 1);
                meanNorth += rows[k].northArcsecPerMinute / double(later - i + 1);
            }
            const double tolerance = 0.01 + 0.03 * std::hypot(meanEast, meanNorth);
            QVERIFY2(
                std::fabs(east - meanEast) < tolerance && std::fabs(north - meanNorth) < tolerance,
                qPrintable(QStringLiteral("%1 at %2: moved %3 %4, rates %5 %6")
                               .arg(name, QString::fromStdString(FormatUtcTime(a.time)))
                               .arg(east)
                               .arg(north)
                               .arg(meanEast)
                               .arg(meanNorth)));
        }
    }
}

void TestEphemeris::cutTablesAndHoles_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("rows");
    QTest::addColumn<QByteArray>("last");  // the last row with a rate
    QTest::addColumn<QByteArrayList>("holes");
    QTest::addColumn<bool>("cut");

    // Quantities 1, 3 and 47 as CSV; the third row's d(DEC)/dt is -120, so a text that stops
    // after its "-1" must not give -1"/hr.
    const QByteArray csv = Horizons(
        " Date__(UT)__HR:MN, , , R.A._(ICRF), DEC_(ICRF), dRA*cosD, d(DEC)/dt, Sky_motion, "
        "Sky_mot_PA,",
        {" 2026-Dec-07 21:00,*,m, 08 21 29.56, +60 00 00.0, 60.00000, 0.00000, 1.0000000, "
         "90.000000,",
         " 2026-Dec-07 21:10,*,m, 08 21 29.56, +60 00 00.0, 60.00000, 60.00000, 1.4142136, "
         "45.000000,",
         " 2026-Dec-07 21:20,*,m, 08 21 29.56, +60 00 00.0, 120.00000, -120.00000, 2.8284271, "
         "135.000000,"});
    const QByteArray lastAt = "2026-12-07T21:10:00Z";
    QTest::newRow("CSV cut inside its last rate")
        << CutAt(csv, "120.00000, -1") << 2 << lastAt << QByteArrayList() << true;
    QTest::newRow("CSV cut inside its last rate, a line end added")
        << CutAt(csv, "120.00000, -1") + "\n"
        << 2 << lastAt << QByteArrayList() << true;
    QTest::newRow("CSV cut after its last field but before the row's end")
        << CutAt(csv, "135.000000") << 2 << lastAt << QByteArrayList() << true;
    QTest::newRow("CSV whole but for $$EOE")
        << CutAt(csv, "135.000000,\n") << 3 << QByteArray("2026-12-07T21:20:00Z")
        << QByteArrayList() << false;
    const QByteArray text =
        Horizons(kShortColumns,
                 {ShortRowAt(" 2026-Dec-07 21:20"), ShortRowAt(" 2026-Dec-07 21:30"),
                  QByteArray(ShortRowAt(" 2026-Dec-07 21:40")).replace("-30.00000", "-31.23456")});
    QTest::newRow("text cut inside its last rate")
        << CutAt(text, "-31.2") << 2 << QByteArray("2026-12-07T21:30:00Z") << QByteArrayList()
        << true;
    QTest::newRow("text cut inside its last rate, CR LF added")
        << QByteArray(CutAt(text, "-31.2") + "\n").replace("\n", "\r\n") << 2
        << QByteArray("2026-12-07T21:30:00Z") << QByteArrayList() << true;
    QTest::newRow("text cut before its last rate, a line end added")
        << CutAt(text, "21:40 *m  08 21 29.56 +60 00 00.0  60.00000") + "\n"
        << 2 << QByteArray("2026-12-07T21:30:00Z") << QByteArrayList() << true;
    QTest::newRow("JSON reply around a cut table")
        << ApiReply(CutAt(text, "-31.2")) << 2 << QByteArray("2026-12-07T21:30:00Z")
        << QByteArrayList() << true;

    QTest::newRow("n.a. and an overflow are holes")
        << kGaps << 3 << QByteArray("2026-12-07T21:40:00Z")
        << QByteArrayList{"2026-12-07T21:20:00Z", "2026-12-07T21:30:00Z"} << false;
    QTest::newRow("identical rows at one time")
        << Horizons(kShortColumns, {kShortRow, kShortRow}) << 2
        << QByteArray("2026-12-07T21:30:00Z") << QByteArrayList() << false;
}

void TestEphemeris::cutTablesAndHoles() {
    QFETCH(QByteArray, text);
    QFETCH(int, rows);
    QFETCH(QByteArray, last);
    QFETCH(QByteArrayList, holes);
    QFETCH(bool, cut);

    const auto read = ReadEphemeris(View(text));
    const auto* error = std::get_if<ReadError>(&read);
    QVERIFY2(!error, error ? error->message.c_str() : "");
    const Table& table = std::get<Table>(read);
    QCOMPARE(int(table.rows.size()), rows);
    QCOMPARE(QByteArray::fromStdString(FormatUtcTime(table.rows.back().time)), last);
    QByteArrayList holeTimes;
    for (const UtcMs hole : table.holes)
        holeTimes << QByteArray::fromStdString(FormatUtcTime(hole));
    QCOMPARE(holeTimes, holes);
    QCOMPARE(table.cutShort, cut);
    // No row of a cut table keeps a shortened number.
    for (const Row& row : table.rows) {
        QVERIFY(std::fabs(row.northArcsecPerMinute) != 1.0 / 60);
        QVERIFY(std::fabs(row.northArcsecPerMinute * 60 - 31.2) > 1e-9);
    }
}

void TestEphemeris::stepText_data() {
    QTest::addColumn<qint64>("stepMs");
    QTest::addColumn<QString>("words");

    QTest::newRow("1 minute") << qint64(60'000) << "1 minute";
    QTest::newRow("10 minutes") << qint64(600'000) << "10 minutes";
    QTest::newRow("90 minutes stay minutes") << qint64(5'400'000) << "90 minutes";
    QTest::newRow("1 hour") << qint64(3'600'000) << "1 hour";
    QTest::newRow("6 hours") << qint64(21'600'000) << "6 hours";
    QTest::newRow("36 hours stay hours") << qint64(129'600'000) << "36 hours";
    QTest::newRow("1 day") << qint64(86'400'000) << "1 day";
    QTest::newRow("2 days") << qint64(172'800'000) << "2 days";
    QTest::newRow("30 seconds") << qint64(30'000) << "30 seconds";
    QTest::newRow("1 second") << qint64(1'000) << "1 second";
    QTest::newRow("61 seconds") << qint64(61'000) << "61 seconds";
    QTest::newRow("part of a second: none") << qint64(1'500) << "";
    QTest::newRow("zero: none") << qint64(0) << "";
    QTest::newRow("negative: none") << qint64(-60'000) << "";
}

void TestEphemeris::stepText() {
    QFETCH(qint64, stepMs);
    QFETCH(QString, words);

    QCOMPARE(QString::fromStdString(StepText(stepMs)), words);
}

void TestEphemeris::statedStepText_data() {
    QTest::addColumn<QString>("stated");
    QTest::addColumn<QString>("words");

    // As a user types STEP_SIZE for a query.
    QTest::newRow("10 m") << "10 m" << "10 minutes";
    QTest::newRow("1 m") << "1 m" << "1 minute";
    QTest::newRow("1 h") << "1 h" << "1 hour";
    QTest::newRow("1 d") << "1 d" << "1 day";
    QTest::newRow("2 d") << "2 d" << "2 days";
    QTest::newRow("10m, no blank") << "10m" << "10 minutes";
    QTest::newRow("60 min") << "60 min" << "1 hour";
    QTest::newRow("2 hr") << "2 hr" << "2 hours";
    QTest::newRow("capitals") << "60 Min" << "1 hour";
    QTest::newRow("half an hour") << "0.5 h" << "30 minutes";
    QTest::newRow("30 s") << "30 s" << "30 seconds";
    // As Horizons' header states it ("Step-size : ...").
    QTest::newRow("Horizons 1 minutes") << "1 minutes" << "1 minute";
    QTest::newRow("Horizons 3 minutes") << "3 minutes" << "3 minutes";
    QTest::newRow("Horizons 60 minutes") << "60 minutes" << "1 hour";
    QTest::newRow("Horizons 90 minutes") << "90 minutes" << "90 minutes";
    QTest::newRow("Horizons 1440 minutes") << "1440 minutes" << "1 day";
    QTest::newRow("Horizons 14400 minutes") << "14400 minutes" << "10 days";
    QTest::newRow("Horizons 2880 minutes") << "2880 minutes" << "2 days";
    QTest::newRow("Horizons single time") << "0 steps" << "";
    QTest::newRow("Horizons 1 calendar months") << "1 calendar months" << "1 calendar month";
    QTest::newRow("Horizons 3 calendar months") << "3 calendar months" << "3 calendar months";
    QTest::newRow("Horizons 1 calendar years") << "1 calendar years" << "1 calendar year";
    QTest::newRow("blanks around") << "  1440 minutes \r" << "1 day";
    // Forms not known stay as stated.
    QTest::newRow("unitless intervals") << "10 equal intervals (unitless)"
                                        << "10 equal intervals (unitless)";
    QTest::newRow("no number") << "variable" << "variable";
    QTest::newRow("half a second") << "0.5 s" << "0.5 s";
    QTest::newRow("beyond any use") << "999999999999 d" << "999999999999 d";
    QTest::newRow("a million days") << "1000000 d" << "1000000 days";
    QTest::newRow("empty") << "" << "";
}

void TestEphemeris::statedStepText() {
    QFETCH(QString, stated);
    QFETCH(QString, words);

    QCOMPARE(QString::fromStdString(StatedStepText(stated.toStdString())), words);
}

void TestEphemeris::siteText_data() {
    QTest::addColumn<QString>("named");
    QTest::addColumn<QString>("shown");

    QTest::newRow("Horizons' geocentre") << "GEOCENTRIC" << "the geocentre";
    QTest::newRow("the MPC's geocentre") << "the geocenter" << "the geocentre";
    QTest::newRow("already ours") << "the geocentre" << "the geocentre";
    QTest::newRow("lower case") << "geocentric" << "the geocentre";
    QTest::newRow("a ground site") << "Teide Observatory, Tenerife"
                                   << "Teide Observatory, Tenerife";
    QTest::newRow("an MPC site") << "observatory code G37" << "observatory code G37";
    QTest::newRow("more than the word") << "geocentric frame" << "geocentric frame";
    QTest::newRow("not said") << "" << "";
}

void TestEphemeris::siteText() {
    QFETCH(QString, named);
    QFETCH(QString, shown);

    QCOMPARE(QString::fromStdString(SiteText(named.toStdString())), shown);
}

// The observer and the step of each recorded Horizons table, as its "Center-site name" and
// "Step-size" lines state them, in Pelindra's words.
void TestEphemeris::recordedTableFacts_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("site");
    QTest::addColumn<QString>("step");

    const QString geocentre = "the geocentre";
    QTest::newRow("1P, 3 minutes") << "horizons_text_1P_T15_3min__lucuma-odb.txt"
                                   << "Gemini North Observatory, Maunakea" << "3 minutes";
    QTest::newRow("1543 Bourgeois, 1 minutes")
        << "horizons_web_1543Bourgeois_topo_1min_trim400__photometry-lab.txt"
        << "(user defined site below)" << "1 minute";
    QTest::newRow("Ceres, 14400 minutes") << "horizons_csv_ceres_10d__astroquery.txt" << geocentre
                                          << "10 days";
    QTest::newRow("Mars, 1440 minutes") << "horizons_web_Mars_1d__celestial-observer.txt"
                                        << geocentre << "1 day";
    QTest::newRow("3I/ATLAS, 1440 minutes") << "horizons_web_3I-ATLAS_1d__3iatlas.txt" << geocentre
                                            << "1 day";
    QTest::newRow("1998 TU3, 1440 minutes") << "horizons_web_1998TU3_1d__euclid-asteroids.txt"
                                            << geocentre << "1 day";
    QTest::newRow("1935 UZ, 0 steps") << "horizons_csv_1935UZ_single__astroquery.txt" << geocentre
                                      << "";
}

void TestEphemeris::recordedTableFacts() {
    QFETCH(QString, file);
    QFETCH(QString, site);
    QFETCH(QString, step);

    const QString samples = EphemerisSamplesFolder(PELINDRA_SOURCE_DIR);
    if (samples.isEmpty()) QSKIP("no recorded ephemerides in shared/ephemeris-samples");
    const auto read = ReadEphemerisFile(QDir(samples).filePath(file).toStdString());
    const auto* error = std::get_if<ReadError>(&read);
    QVERIFY2(!error, error ? error->message.c_str() : "");
    QCOMPARE(QString::fromStdString(std::get<Table>(read).site), site);
    QCOMPARE(QString::fromStdString(std::get<Table>(read).step), step);
}

QTEST_GUILESS_MAIN(TestEphemeris)
#include "tst_ephemeris.moc"
