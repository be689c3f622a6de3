#include <QElapsedTimer>
#include <QtTest>

#include "settings/IniDocument.h"

using namespace Pelindra::Settings;

namespace {

std::string ToStd(const QByteArray& bytes) {
    return std::string(bytes.constData(), bytes.size());
}
QByteArray ToQt(const std::string& bytes) {
    return QByteArray(bytes.data(), qsizetype(bytes.size()));
}

// The missing/present distinction matters, so a missing entry reads as this marker.
const QByteArray kMissing = "<missing>";

// One table row; every column of these tables is a QByteArray.
void Row(const char* name, std::initializer_list<QByteArray> cells) {
    QTestData& row = QTest::newRow(name);
    for (const QByteArray& cell : cells) row << cell;
}

QByteArray ReadOrMarker(const IniDocument& doc, const QByteArray& section, const QByteArray& key) {
    const auto value = doc.Read(ToStd(section), ToStd(key));
    return value ? ToQt(*value) : kMissing;
}

}  // namespace

class TestIniDocument : public QObject {
    Q_OBJECT

  private slots:
    void read_data();
    void read();
    void write_data();
    void write();
    void writeSample();
    void roundTrip_data();
    void roundTrip();
    void largeFile_data();
    void largeFile();
};

void TestIniDocument::read_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("section");
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QByteArray>("expected");

    // Names
    Row("names ignore case", {"[MoUnT]\r\nEastWest=True\r\n", "mount", "EASTWEST", "True"});
    Row("names trimmed in file",
        {" [ Time ] \r\n \tTotal Time \t= 60\r\n", "Time", "Total Time", "60"});
    Row("caller names trimmed", {"[Time]\r\nTotal Time=60\r\n", "\t Time ", " Total Time\t", "60"});
    Row("head without ]", {"[ Time \r\nA=1\r\n", "Time", "A", "1"});
    Row("text after ] ignored", {"[Time] x]\r\nA=1\r\n", "Time", "A", "1"});
    Row("non-ASCII not folded", {"[S]\r\n\xC3\x84=1\r\n", "S", "\xC3\xA4", kMissing});
    // Values
    Row("value trimmed", {"[S]\r\nK= \t a b \t\r\n", "S", "K", "a b"});
    Row("double quotes dropped", {"[S]\r\nK= \" a \" \r\n", "S", "K", " a "});
    Row("single quotes dropped", {"[S]\r\nK='x'\r\n", "S", "K", "x"});
    Row("only one quote pair", {"[S]\r\nK=\"\"x\"\"\r\n", "S", "K", "\"x\""});
    Row("empty quoted", {"[S]\r\nK=''\r\n", "S", "K", ""});
    Row("lone quote kept", {"[S]\r\nK=\"\r\n", "S", "K", "\""});
    Row("mixed quotes kept", {"[S]\r\nK='x\"\r\n", "S", "K", "'x\""});
    Row("split at first =", {"[S]\r\nK = a=b\r\n", "S", "K", "a=b"});
    Row("UTF-8 untouched", {"[S]\r\nK=\xC3\xA9t\xC3\xA9\r\n", "S", "K", "\xC3\xA9t\xC3\xA9"});
    Row("long value not cut", {QByteArray("[S]\r\nK=" + QByteArray(100000, 'v') + "\r\n"), "S", "K",
                               QByteArray(100000, 'v')});
    // Lines that are not entries
    Row("comment", {"[S]\r\n\t;K=1\r\nK=2\r\n", "S", "K", "2"});
    Row("comment key", {"[S]\r\n;K=1\r\n", "S", ";K", kMissing});
    Row("semicolon inside key", {"[S]\r\nA;K=1\r\n", "S", "A;K", "1"});
    Row("line without =", {"[S]\r\nK\r\nK=2\r\n", "S", "K", "2"});
    Row("before first section", {"K=1\r\n[S]\r\n", "", "K", kMissing});
    Row("entry of next section", {"[S]\r\n[T]\r\nK=1\r\n", "S", "K", kMissing});
    // First wins
    Row("duplicate key", {"[S]\r\nK=1\r\nk=2\r\n", "S", "K", "1"});
    Row("duplicate section", {"[S]\r\nK=1\r\n[s]\r\nK=2\r\n", "S", "K", "1"});
    Row("key only in duplicate", {"[S]\r\nA=1\r\n[S]\r\nK=2\r\n", "S", "K", kMissing});
    // Empty and missing
    Row("empty value", {"[S]\r\nK= \t\r\n", "S", "K", ""});
    Row("empty value at end", {"[S]\r\nK=", "S", "K", ""});
    Row("missing key", {"[S]\r\nK=1\r\n", "S", "J", kMissing});
    Row("longer key not matched", {"[S]\r\nKey=1\r\n", "S", "K", kMissing});
    Row("missing section", {"[S]\r\nK=1\r\n", "T", "K", kMissing});
    Row("empty file", {"", "S", "K", kMissing});
    // Line ends and byte-order mark
    Row("LF", {"[A]\nX=0\n[S]\nK=1\nL=2\n", "S", "L", "2"});
    Row("CR", {"[A]\rX=0\r[S]\rK=1\rL=2\r", "S", "L", "2"});
    Row("mixed", {"[S]\r\nA=1\rB=2\nK=3\r\n", "S", "K", "3"});
    Row("BOM", {"\xEF\xBB\xBF[S]\r\nK=1\r\n", "S", "K", "1"});
    Row("partial BOM", {"\xEF\xBB[S]\r\nK=1\r\n", "S", "K", kMissing});
}

void TestIniDocument::read() {
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, section);
    QFETCH(QByteArray, key);
    QFETCH(QByteArray, expected);
    QCOMPARE(ReadOrMarker(IniDocument(ToStd(bytes)), section, key), expected);
}

void TestIniDocument::write_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("section");
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QByteArray>("expected");

    // Replacing an entry
    Row("keeps key spelling", {"[Mount]\r\nRA Direction East=1\r\n", "mount", "Ra Direction East",
                               "0", "[Mount]\r\nRA Direction East=0\r\n"});
    Row("other bytes kept",
        {";c\n[S] \n A = 1 ; x\n B=2\r[T]\r\n", "S", "a", "9", ";c\n[S] \nA=9\r\n B=2\r[T]\r\n"});
    Row("last line gets CR LF", {"[S]\nK=1", "S", "K", "2", "[S]\nK=2\r\n"});
    Row("first duplicate only", {"[S]\r\nK=1\r\nK=1\r\n[S]\r\nK=1\r\n", "S", "K", "2",
                                 "[S]\r\nK=2\r\nK=1\r\n[S]\r\nK=1\r\n"});
    Row("BOM kept", {"\xEF\xBB\xBF[S]\r\nK=1\r\n", "S", "K", "2", "\xEF\xBB\xBF[S]\r\nK=2\r\n"});
    Row("only a BOM", {"\xEF\xBB\xBF", "S", "K", "1", "\xEF\xBB\xBF[S]\r\nK=1\r\n"});
    // Adding to an existing section
    Row("before blank lines", {"[S]\r\nA=1\r\n\r\n \t\r\n[T]\r\n", "S", "K", "2",
                               "[S]\r\nA=1\r\nK=2\r\n\r\n \t\r\n[T]\r\n"});
    Row("after comment", {"[S]\nA=1\n;note\n\n", "S", "K", "2", "[S]\nA=1\n;note\nK=2\r\n\n"});
    Row("section with head only",
        {"[S]\r\n\r\n[T]\r\n", "s", " K ", "2", "[S]\r\nK=2\r\n\r\n[T]\r\n"});
    Row("no final line end", {"[S]\r\nA=1", "S", "K", "2", "[S]\r\nA=1\r\nK=2\r\n"});
    Row("first of duplicates", {"[S]\r\n[S]\r\n", "S", "K", "2", "[S]\r\nK=2\r\n[S]\r\n"});
    Row("LF file", {"[S]\nA=1\n\n[T]\n", "S", "K", "2", "[S]\nA=1\nK=2\r\n\n[T]\n"});
    // Adding a section
    Row("empty file", {"", " S ", " K ", "1", "[S]\r\nK=1\r\n"});
    Row("after CR LF", {"[T]\r\nA=1\r\n\r\n", "S", "K", "1", "[T]\r\nA=1\r\n\r\n[S]\r\nK=1\r\n"});
    Row("after CR", {"[T]\r", "S", "K", "1", "[T]\r[S]\r\nK=1\r\n"});
    Row("after text without line end", {"[T]\nA=1", "S", "K", "1", "[T]\nA=1\r\n[S]\r\nK=1\r\n"});
    Row("entry before sections", {"K=0\n", "", "K", "1", "K=0\n[]\r\nK=1\r\n"});
    // Stored value
    Row("leading blanks stripped", {"", "S", "K", " \t1 \t", "[S]\r\nK=1 \t\r\n"});
    Row("cut at LF", {"", "S", "K", "a\n[X]", "[S]\r\nK=a\r\n"});
    Row("cut at CR", {"[S]\r\nK=1\r\n", "S", "K", " a\rb\nc", "[S]\r\nK=a\r\n"});
    Row("empty value", {"", "S", "K", "", "[S]\r\nK=\r\n"});
}

void TestIniDocument::write() {
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, section);
    QFETCH(QByteArray, key);
    QFETCH(QByteArray, value);
    QFETCH(QByteArray, expected);
    IniDocument doc(ToStd(bytes));
    doc.Write(ToStd(section), ToStd(key), ToStd(value));
    QCOMPARE(ToQt(doc.Bytes()), expected);
}

// The settings file the application writes on first start, entry by entry.
void TestIniDocument::writeSample() {
    const char* const entries[][3] = {
        {"Object", "Motion", "1"},
        {"Object", "Position Angle", "0"},
        {"Pixel Size", "PixelSize", " 1"},
        {"Time", "Total Time", " 60"},
        {"Time", "Time Interval", " 15"},
        {"Mount", "Mount", "False"},
        {"Mount", "EastWest", "True"},
        {"Mount", "RA Direction West", " 0"},
        {"Mount", "Dec Direction West", " 0"},
        {"Mount", "Ra Direction East", " 0"},
        {"Mount", "Dec Direction East", " 0"},
        {"Directory", "Current Directory", ""},
    };
    IniDocument doc;
    for (const auto& e : entries) doc.Write(e[0], e[1], e[2]);
    QCOMPARE(
        ToQt(doc.Bytes()),
        QByteArray("[Object]\r\nMotion=1\r\nPosition Angle=0\r\n[Pixel Size]\r\nPixelSize=1\r\n"
                   "[Time]\r\nTotal Time=60\r\nTime Interval=15\r\n[Mount]\r\nMount=False\r\n"
                   "EastWest=True\r\nRA Direction West=0\r\nDec Direction West=0\r\n"
                   "Ra Direction East=0\r\nDec Direction East=0\r\n[Directory]\r\n"
                   "Current Directory=\r\n"));
}

void TestIniDocument::roundTrip_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QByteArray>("expected");

    Row("new section", {"[A]\nX=x\n", "v", "v"});
    Row("new key", {"[A]\nX=x\n[S]\nY=y\n\n[B]\nZ=z", "v", "v"});
    Row("replace", {"[A]\rX=x\r[S]\rK=k\rY=y\r[B]\rZ=z", "v", "v"});
    Row("empty", {"[A]\nX=x\n[S]\nK=k\nY=y", "", ""});
    Row("trailing blanks", {"[A]\nX=x", " v \t", "v"});
    Row("quoted", {"[A]\nX=x", "'v'", "v"});
    Row("line break", {"[A]\nX=x", "v\r\n[A]\r\nX=y", "v"});
}

// A write must be readable back, from the same object and from the saved bytes,
// without disturbing the neighbouring entries.
void TestIniDocument::roundTrip() {
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, value);
    QFETCH(QByteArray, expected);
    IniDocument doc(ToStd(bytes));
    doc.Write("s", "k", ToStd(value));
    const IniDocument reloaded(doc.Bytes());
    QCOMPARE(ReadOrMarker(doc, "S", "K"), expected);
    QCOMPARE(ReadOrMarker(reloaded, "S", "K"), expected);
    QCOMPARE(ReadOrMarker(reloaded, "A", "X"), QByteArray("x"));
    QCOMPARE(ReadOrMarker(reloaded, "S", "Y"), bytes.contains("Y=y") ? QByteArray("y") : kMissing);
    QCOMPARE(ReadOrMarker(reloaded, "B", "Z"), bytes.contains("Z=z") ? QByteArray("z") : kMissing);
}

void TestIniDocument::largeFile_data() {
    QTest::addColumn<QByteArray>("section");
    QTest::addColumn<QByteArray>("expected");

    Row("first", {"Section 0", "value 0"});
    Row("last", {"Section 9999", "value 9999"});
    Row("missing", {"Section X", kMissing});
}

// About 10 MB in 10,000 sections: each call must stay a single pass over the text.
void TestIniDocument::largeFile() {
    QFETCH(QByteArray, section);
    QFETCH(QByteArray, expected);
    std::string bytes;
    const std::string filler(1000, 'f');
    for (int i = 0; i < 10000; ++i) {
        const std::string n = std::to_string(i);
        bytes += "[Section " + n + "]\r\nFiller=" + filler + "\r\nKey=value " + n + "\r\n\r\n";
    }
    IniDocument doc(std::move(bytes));
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(ReadOrMarker(doc, section, "key"), expected);
    doc.Write(ToStd(section), "Key", "new");
    doc.Write(ToStd(section), "Other", "added");
    QCOMPARE(ReadOrMarker(doc, section, "other"), QByteArray("added"));
    // Generous bound for sanitizer builds; a per-line rescan would take minutes.
    QVERIFY2(timer.elapsed() < 2000, qPrintable(QString::number(timer.elapsed())));
}

QTEST_APPLESS_MAIN(TestIniDocument)
#include "tst_inidocument.moc"
