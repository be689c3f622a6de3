#include <QtTest>
#include <bit>
#include <cfenv>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <random>

#include "core/DisplayPattern.h"
#include "core/NumberReading.h"
#include "core/NumberText.h"
#include "core/Rounding.h"

using namespace Pelindra::Core;

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

std::string_view View(const QByteArray& bytes) {
    return {bytes.constData(), std::size_t(bytes.size())};
}

// QCOMPARE on doubles is fuzzy; these tables want the exact value.
bool Same(double a, double b) {
    return a == b || (std::isnan(a) && std::isnan(b));
}
QByteArray Show(double v) {
    return QByteArray::number(v, 'g', 17);
}

}  // namespace

class TestNumbers : public QObject {
    Q_OBJECT

  private slots:
    void read_data();
    void read();
    void wholeNumber_data();
    void wholeNumber();
    void roundHalfEven_data();
    void roundHalfEven();
    void toInt16_data();
    void toInt16();
    void toSingle_data();
    void toSingle();
    void numberText_data();
    void numberText();
    void numberTextInt16_data();
    void numberTextInt16();
    void numberTextRoundTrip();
    void formatMagnitude_data();
    void formatMagnitude();
    void formatMagnitudeLarge();
};

void TestNumbers::read_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<double>("value");
    QTest::addColumn<bool>("found");
    QTest::addColumn<int>("end");  // -1: where the number ends is not checked

    QTest::newRow("digits") << QByteArray("12") << 12.0 << true << 2;
    QTest::newRow("leading blanks") << QByteArray(" \t\n12") << 12.0 << true << 5;
    QTest::newRow("blank between digits") << QByteArray("2 5") << 25.0 << true << 3;
    QTest::newRow("tab, line feed inside") << QByteArray("1\t2\n3") << 123.0 << true << 5;
    QTest::newRow("blank in fraction") << QByteArray("1 2.5") << 12.5 << true << 5;
    QTest::newRow("carriage return stops") << QByteArray("1\r2") << 1.0 << true << 1;
    QTest::newRow("carriage return first") << QByteArray("\r5") << 0.0 << false << -1;
    QTest::newRow("plus") << QByteArray("+5") << 5.0 << true << 2;
    QTest::newRow("minus") << QByteArray("-5") << -5.0 << true << 2;
    QTest::newRow("blank after sign") << QByteArray("- 5") << -5.0 << true << 3;
    QTest::newRow("two signs") << QByteArray("+-5") << 0.0 << false << -1;
    QTest::newRow("leading zeros") << QByteArray("007") << 7.0 << true << 3;
    QTest::newRow("fraction") << QByteArray("1.5") << 1.5 << true << 3;
    QTest::newRow("leading point") << QByteArray(".5") << 0.5 << true << 2;
    QTest::newRow("trailing point") << QByteArray("5.") << 5.0 << true << -1;
    QTest::newRow("second point stops") << QByteArray("1.2.3") << 1.2 << true << 3;
    QTest::newRow("comma stops") << QByteArray("1,5") << 1.0 << true << 1;
    QTest::newRow("nearest double") << QByteArray("0.1") << 0.1 << true << 3;
    QTest::newRow("exponent") << QByteArray("1.5e1") << 15.0 << true << 5;
    QTest::newRow("capital exponent") << QByteArray("1.5E1") << 15.0 << true << 5;
    QTest::newRow("negative exponent") << QByteArray("25E-1") << 2.5 << true << 5;
    QTest::newRow("exponent plus") << QByteArray("1e+2") << 100.0 << true << 4;
    QTest::newRow("blanks in exponent") << QByteArray("1 e - 2") << 0.01 << true << 7;
    QTest::newRow("bare e") << QByteArray("1e") << 1.0 << true << -1;
    QTest::newRow("e and sign only") << QByteArray("1e+") << 1.0 << true << -1;
    QTest::newRow("point after exponent") << QByteArray("1e2.5") << 100.0 << true << 3;
    QTest::newRow("exponent alone") << QByteArray("e5") << 0.0 << false << -1;
    QTest::newRow("point alone") << QByteArray(".") << 0.0 << false << -1;
    QTest::newRow("hex") << QByteArray("&H1F") << 31.0 << true << 4;
    QTest::newRow("hex lower case") << QByteArray("&h1f") << 31.0 << true << 4;
    QTest::newRow("hex with blank") << QByteArray("&H1 F") << 31.0 << true << 5;
    QTest::newRow("octal") << QByteArray("&O17") << 15.0 << true << 4;
    QTest::newRow("octal lower case") << QByteArray("&o17") << 15.0 << true << 4;
    QTest::newRow("octal stops at 8") << QByteArray("&O178") << 15.0 << true << 4;
    QTest::newRow("octal without digits") << QByteArray("&O8") << 0.0 << false << -1;
    QTest::newRow("hex without digits") << QByteArray("&Hxyz") << 0.0 << false << -1;
    QTest::newRow("bare ampersand") << QByteArray("&17") << 0.0 << false << -1;
    QTest::newRow("trailing text") << QByteArray("12abc") << 12.0 << true << 2;
    QTest::newRow("no number") << QByteArray("abc") << 0.0 << false << -1;
    QTest::newRow("empty") << QByteArray("") << 0.0 << false << -1;
    QTest::newRow("blanks only") << QByteArray(" \t ") << 0.0 << false << -1;
    QTest::newRow("sign only") << QByteArray("-") << 0.0 << false << -1;
    QTest::newRow("many digits") << QByteArray("123456789012345678901234567890")
                                 << 1.2345678901234568e29 << true << 30;
    // Digit count and exponent cancel; the value must not pass through infinity.
    QTest::newRow("long mantissa, small exponent")
        << QByteArray("1" + QByteArray(400, '0') + "e-400") << 1.0 << true << 406;
    QTest::newRow("exponent with leading zeros")
        << QByteArray("1e00000000000000000002") << 100.0 << true << 22;
    QTest::newRow("exponent beyond any integer")
        << QByteArray("1e99999999999999999999") << kInf << true << 22;
    QTest::newRow("huge exponent") << QByteArray("1e400") << kInf << true << 5;
    QTest::newRow("huge negative") << QByteArray("-1e400") << -kInf << true << 6;
    QTest::newRow("tiny exponent") << QByteArray("1e-400") << 0.0 << true << 6;
    QTest::newRow("denormal") << QByteArray("5e-324") << 4.9406564584124654e-324 << true << 6;
}

void TestNumbers::read() {
    QFETCH(QByteArray, text);
    QFETCH(double, value);
    QFETCH(bool, found);
    QFETCH(int, end);

    const NumberScan scan = ScanNumber(View(text));
    QVERIFY2(Same(scan.value, value), (Show(scan.value) + " != " + Show(value)).constData());
    QVERIFY2(Same(ReadNumber(View(text)), value), "ReadNumber disagrees with ScanNumber");
    QCOMPARE(scan.found, found);
    if (end >= 0) QCOMPARE(scan.end, std::size_t(end));
}

void TestNumbers::wholeNumber_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("whole");

    QTest::newRow("digits") << QByteArray("12") << true;
    QTest::newRow("blanks around") << QByteArray(" 12 ") << true;
    QTest::newRow("blank inside") << QByteArray("2 5") << true;
    QTest::newRow("signed exponent") << QByteArray("\t-1.5e1\n") << true;
    QTest::newRow("leading point") << QByteArray(".5") << true;
    QTest::newRow("hex") << QByteArray("&H1F") << true;
    QTest::newRow("trailing text") << QByteArray("12abc") << false;
    QTest::newRow("comma") << QByteArray("1,5") << false;
    QTest::newRow("carriage return") << QByteArray("1\r") << false;
    QTest::newRow("word") << QByteArray("True") << false;
    QTest::newRow("sign only") << QByteArray("-") << false;
    QTest::newRow("blanks only") << QByteArray("  ") << false;
    QTest::newRow("empty") << QByteArray("") << false;
}

void TestNumbers::wholeNumber() {
    QFETCH(QByteArray, text);
    QFETCH(bool, whole);
    QCOMPARE(IsWholeNumber(View(text)), whole);
}

void TestNumbers::roundHalfEven_data() {
    QTest::addColumn<double>("value");
    QTest::addColumn<double>("expected");

    QTest::newRow("2.5") << 2.5 << 2.0;
    QTest::newRow("3.5") << 3.5 << 4.0;
    QTest::newRow("7.5") << 7.5 << 8.0;
    QTest::newRow("-0.5") << -0.5 << 0.0;
    QTest::newRow("-1.5") << -1.5 << -2.0;
    QTest::newRow("-2.5") << -2.5 << -2.0;
    QTest::newRow("just below half") << 0.49999999999999994 << 0.0;
    QTest::newRow("just below 1.5") << 1.4999999999999998 << 1.0;
    QTest::newRow("just above 2.5") << 2.5000000000000004 << 3.0;
    QTest::newRow("2^52 + 1") << 4503599627370497.0 << 4503599627370497.0;
    QTest::newRow("-(2^52 + 1)") << -4503599627370497.0 << -4503599627370497.0;
    QTest::newRow("huge") << 1e300 << 1e300;
}

void TestNumbers::roundHalfEven() {
    QFETCH(double, value);
    QFETCH(double, expected);
    // The result must not depend on the floating-point rounding mode in force.
    for (const int mode : {FE_TONEAREST, FE_DOWNWARD, FE_UPWARD, FE_TOWARDZERO}) {
        std::fesetround(mode);
        const double rounded = RoundHalfEven(value);
        std::fesetround(FE_TONEAREST);
        QVERIFY2(rounded == expected,
                 ("mode " + QByteArray::number(mode) + ": " + Show(rounded)).constData());
    }
}

void TestNumbers::toInt16_data() {
    QTest::addColumn<double>("value");
    QTest::addColumn<bool>("fits");
    QTest::addColumn<int>("expected");

    QTest::newRow("0.5") << 0.5 << true << 0;
    QTest::newRow("1.5") << 1.5 << true << 2;
    QTest::newRow("2.5") << 2.5 << true << 2;
    QTest::newRow("-0.5") << -0.5 << true << 0;
    QTest::newRow("32767.4") << 32767.4 << true << 32767;
    QTest::newRow("32766.5") << 32766.5 << true << 32766;
    QTest::newRow("32767.5") << 32767.5 << false << 0;
    QTest::newRow("-32768.5") << -32768.5 << true << -32768;
    QTest::newRow("-32768.6") << -32768.6 << false << 0;
    QTest::newRow("-32769") << -32769.0 << false << 0;
    QTest::newRow("65535") << 65535.0 << false << 0;
    QTest::newRow("65536") << 65536.0 << false << 0;
    QTest::newRow("1e10") << 1e10 << false << 0;
    QTest::newRow("inf") << kInf << false << 0;
    QTest::newRow("-inf") << -kInf << false << 0;
    QTest::newRow("NaN") << kNaN << false << 0;
}

void TestNumbers::toInt16() {
    QFETCH(double, value);
    QFETCH(bool, fits);
    QFETCH(int, expected);
    const std::optional<std::int16_t> result = ToInt16HalfEven(value);
    QCOMPARE(result.has_value(), fits);
    if (fits) QCOMPARE(int(*result), expected);
}

void TestNumbers::toSingle_data() {
    QTest::addColumn<double>("value");
    QTest::addColumn<bool>("fits");
    QTest::addColumn<float>("expected");

    QTest::newRow("1.1") << 1.1 << true << 1.1f;
    QTest::newRow("0.1") << 0.1 << true << 0.1f;
    QTest::newRow("-2.5") << -2.5 << true << -2.5f;
    QTest::newRow("tie goes even") << 0x1.000001p0 << true << 1.0f;
    QTest::newRow("above tie") << 0x1.0000011p0 << true << 0x1.000002p0f;
    QTest::newRow("underflow to zero") << 1e-50 << true << 0.0f;
    QTest::newRow("denormal") << 0x1.4p-149 << true << 0x1p-149f;
    QTest::newRow("FLT_MAX") << double(FLT_MAX) << true << FLT_MAX;
    QTest::newRow("-FLT_MAX") << -double(FLT_MAX) << true << -FLT_MAX;
    QTest::newRow("rounds down to FLT_MAX") << 0x1.fffffe8p127 << true << FLT_MAX;
    QTest::newRow("rounds to -FLT_MAX") << -0x1.fffffefffffffp127 << true << -FLT_MAX;
    QTest::newRow("tie above FLT_MAX") << 0x1.ffffffp127 << false << 0.0f;
    QTest::newRow("negative tie") << -0x1.ffffffp127 << false << 0.0f;
    QTest::newRow("1e39") << 1e39 << false << 0.0f;
    QTest::newRow("-1e39") << -1e39 << false << 0.0f;
    QTest::newRow("1e300") << 1e300 << false << 0.0f;
    QTest::newRow("inf") << kInf << false << 0.0f;
    QTest::newRow("-inf") << -kInf << false << 0.0f;
    QTest::newRow("NaN") << kNaN << false << 0.0f;
}

void TestNumbers::toSingle() {
    QFETCH(double, value);
    QFETCH(bool, fits);
    QFETCH(float, expected);
    const std::optional<float> result = ToSingle(value);
    QCOMPARE(result.has_value(), fits);
    if (fits) QCOMPARE(std::bit_cast<quint32>(*result), std::bit_cast<quint32>(expected));
}

void TestNumbers::numberText_data() {
    QTest::addColumn<float>("value");
    QTest::addColumn<QByteArray>("text");

    QTest::newRow("1") << 1.0f << QByteArray(" 1");
    QTest::newRow("60") << 60.0f << QByteArray(" 60");
    QTest::newRow("15") << 15.0f << QByteArray(" 15");
    QTest::newRow("0") << 0.0f << QByteArray(" 0");
    QTest::newRow("-0") << -0.0f << QByteArray(" 0");
    QTest::newRow("-1") << -1.0f << QByteArray("-1");
    QTest::newRow("100") << 100.0f << QByteArray(" 100");
    QTest::newRow("2.5") << 2.5f << QByteArray(" 2.5");
    QTest::newRow("1.1") << 1.1f << QByteArray(" 1.1");
    QTest::newRow("0.1") << 0.1f << QByteArray(" 0.1");
    QTest::newRow("0.5") << 0.5f << QByteArray(" 0.5");
    QTest::newRow("-0.25") << -0.25f << QByteArray("-0.25");
    QTest::newRow("123.456") << 123.456f << QByteArray(" 123.456");
    QTest::newRow("0.0002") << 2e-4f << QByteArray(" 0.0002");
    QTest::newRow("0.0001234") << 0.0001234f << QByteArray(" 0.0001234");
    QTest::newRow("5E-05") << 5e-5f << QByteArray(" 5E-05");
    QTest::newRow("1E-05") << 1e-5f << QByteArray(" 1E-05");
    QTest::newRow("2^-14") << 0x1p-14f << QByteArray(" 6.103516E-05");
    QTest::newRow("1000000") << 1e6f << QByteArray(" 1000000");
    QTest::newRow("9999999") << 9999999.0f << QByteArray(" 9999999");
    QTest::newRow("1E+07") << 1e7f << QByteArray(" 1E+07");
    QTest::newRow("9999999.5") << 9999999.5f << QByteArray(" 1E+07");
    QTest::newRow("12345678") << 12345678.0f << QByteArray(" 1.234568E+07");
    QTest::newRow("-12345678") << -12345678.0f << QByteArray("-1.234568E+07");
    // Exact halves at the eighth digit go away from zero, not to even.
    QTest::newRow("half 1234566.5") << 1234566.5f << QByteArray(" 1234567");
    QTest::newRow("half 8388606.5") << 8388606.5f << QByteArray(" 8388607");
    QTest::newRow("half 123456.25") << 123456.25f << QByteArray(" 123456.3");
    QTest::newRow("half 12345685") << 12345685.0f << QByteArray(" 1.234569E+07");
    QTest::newRow("half 2^-11") << 0x1p-11f << QByteArray(" 0.0004882813");
    // Two exponent digits from 10 on, a leading zero below.
    QTest::newRow("123456789") << 123456789.0f << QByteArray(" 1.234568E+08");
    QTest::newRow("1E+09") << 1e9f << QByteArray(" 1E+09");
    QTest::newRow("1E+10") << 1e10f << QByteArray(" 1E+10");
    QTest::newRow("1E-08") << 1e-8f << QByteArray(" 1E-08");
    QTest::newRow("1E+38") << 1e38f << QByteArray(" 1E+38");
    QTest::newRow("FLT_MAX") << FLT_MAX << QByteArray(" 3.402823E+38");
    QTest::newRow("FLT_MIN") << FLT_MIN << QByteArray(" 1.175494E-38");
    QTest::newRow("smallest denormal") << 0x1p-149f << QByteArray(" 1.401298E-45");
}

void TestNumbers::numberText() {
    QFETCH(float, value);
    QFETCH(QByteArray, text);
    QCOMPARE(QByteArray::fromStdString(NumberText(value)), text);
}

void TestNumbers::numberTextInt16_data() {
    QTest::addColumn<int>("value");
    QTest::addColumn<QByteArray>("text");

    QTest::newRow("0") << 0 << QByteArray(" 0");
    QTest::newRow("1") << 1 << QByteArray(" 1");
    QTest::newRow("2") << 2 << QByteArray(" 2");
    QTest::newRow("-1") << -1 << QByteArray("-1");
    QTest::newRow("10000") << 10000 << QByteArray(" 10000");
    QTest::newRow("32767") << 32767 << QByteArray(" 32767");
    QTest::newRow("-32768") << -32768 << QByteArray("-32768");
}

void TestNumbers::numberTextInt16() {
    QFETCH(int, value);
    QFETCH(QByteArray, text);
    QCOMPARE(QByteArray::fromStdString(NumberText(std::int16_t(value))), text);
}

// What the settings file writes must read back as the same stored value. Seven digits
// are enough for every float that came from a decimal of at most six digits.
void TestNumbers::numberTextRoundTrip() {
    std::mt19937 random(20240611);
    std::uniform_int_distribution<int> mantissas(1, 999999);
    std::uniform_int_distribution<int> exponents(-50, 33);
    int checked = 0, denormals = 0, huge = 0;
    QStringList failures;
    while (checked < 50000) {
        const char* sign = random() % 2 ? "-" : "";
        const int mantissa = mantissas(random);
        const int exponent = exponents(random);
        char decimal[32];
        std::snprintf(decimal, sizeof decimal, "%s%de%d", sign, mantissa, exponent);
        const float f = std::strtof(decimal, nullptr);
        if (f == 0 || std::isinf(f)) continue;
        ++checked;
        if (std::fabs(f) < FLT_MIN) ++denormals;
        if (std::fabs(f) >= 1e30f) ++huge;
        const std::string text = NumberText(f);
        const std::optional<float> back = ToSingle(ReadNumber(text));
        if (!back || std::bit_cast<quint32>(*back) != std::bit_cast<quint32>(f))
            failures << QString("%1 -> \"%2\"")
                            .arg(QString::fromLatin1(decimal), QString::fromStdString(text));
    }
    QVERIFY(denormals > 100);
    QVERIFY(huge > 1000);
    QVERIFY2(failures.isEmpty(), qPrintable(failures.mid(0, 10).join("; ")));

    for (int i = -32768; i <= 32767; ++i) {
        const std::string text = NumberText(std::int16_t(i));
        QVERIFY2(ReadNumber(text) == double(i), text.c_str());
    }
}

void TestNumbers::formatMagnitude_data() {
    QTest::addColumn<float>("magnitude");
    QTest::addColumn<int>("decimals");
    QTest::addColumn<QByteArray>("separator");
    QTest::addColumn<QByteArray>("text");

    const QByteArray dot = ".";
    QTest::newRow("worked example") << 0.955960750579834f << 2 << dot << QByteArray("0.96");
    QTest::newRow("half away") << 0.125f << 2 << dot << QByteArray("0.13");
    QTest::newRow("zero") << 0.0f << 2 << dot << QByteArray("0.00");
    QTest::newRow("zero, one decimal") << 0.0f << 1 << dot << QByteArray("0.0");
    QTest::newRow("tiny") << 1.2758530126485979e-12f << 2 << dot << QByteArray("0.00");
    QTest::newRow("trailing zero kept") << 2.5f << 2 << dot << QByteArray("2.50");
    QTest::newRow("half away, one decimal") << 0.25f << 1 << dot << QByteArray("0.3");
    // The float's own value decides, not the decimal it was written as.
    QTest::newRow("0.35f is below 0.35") << 0.35f << 1 << dot << QByteArray("0.3");
    QTest::newRow("0.05f is above 0.05") << 0.05f << 1 << dot << QByteArray("0.1");
    QTest::newRow("2.675f is below 2.675") << 2.675f << 2 << dot << QByteArray("2.67");
    QTest::newRow("carry into units") << 0.995f << 2 << dot << QByteArray("1.00");
    QTest::newRow("carry into tens") << 9.96f << 1 << dot << QByteArray("10.0");
    QTest::newRow("1736.48") << 1736.4818115234375f << 2 << dot << QByteArray("1736.48");
    QTest::newRow("9848.08") << 9848.0771484375f << 2 << dot << QByteArray("9848.08");
    QTest::newRow("no grouping") << 1234567.0f << 2 << dot << QByteArray("1234567.00");
    QTest::newRow("2^24") << 16777216.0f << 1 << dot << QByteArray("16777216.0");
    QTest::newRow("comma") << 1.5f << 2 << QByteArray(",") << QByteArray("1,50");
    QTest::newRow("comma, grouping absent")
        << 1736.4818115234375f << 2 << QByteArray(",") << QByteArray("1736,48");
    QTest::newRow("multi-byte separator") << 1.5f << 1 << QByteArray("\xD9\xAB")
                                          << QByteArray(
                                                 "1\xD9\xAB"
                                                 "5");
}

void TestNumbers::formatMagnitude() {
    QFETCH(float, magnitude);
    QFETCH(int, decimals);
    QFETCH(QByteArray, separator);
    QFETCH(QByteArray, text);
    QCOMPARE(QByteArray::fromStdString(FormatMagnitude(magnitude, decimals, View(separator))),
             text);
}

// Huge magnitudes keep every integer digit (no exponent form), and those digits still
// stand for the stored value.
void TestNumbers::formatMagnitudeLarge() {
    for (const float value : {3e38f, FLT_MAX}) {
        const QByteArray text = QByteArray::fromStdString(FormatMagnitude(value, 2, "."));
        const QList<QByteArray> parts = text.split('.');
        QCOMPARE(parts.size(), 2);
        QCOMPARE(parts[0].size(), 39);
        QCOMPARE(parts[1], QByteArray("00"));
        for (const char c : parts[0]) QVERIFY2(c >= '0' && c <= '9', text.constData());
        QCOMPARE(std::bit_cast<quint32>(std::strtof(parts[0].constData(), nullptr)),
                 std::bit_cast<quint32>(value));
    }
}

QTEST_APPLESS_MAIN(TestNumbers)
#include "tst_numbers.moc"
