// SPDX-License-Identifier: GPL-3.0-or-later
#include "serial/baudrates.h"
#include "serial/numbertext.h"
#include "tests/support/pty.h"

#include <clocale>

class tst_NumberText : public QObject
{
    Q_OBJECT

private slots:
    // CTest runs these suites again under C and decimal-comma locales; without the locale
    // on the machine they would pass there for nothing.
    void localeInEffect()
    {
        const QByteArray wanted = qgetenv("KORVANET_TEST_LOCALE");
        if (wanted.isEmpty())
            QSKIP("run in the locale the process inherited");
        QVERIFY2(QByteArray(std::setlocale(LC_NUMERIC, nullptr)) == wanted,
                 "the locale is missing; scripts/deps.sh generates it");
        const QByteArray point = wanted == "C" ? "." : ",";
        QCOMPARE(QByteArray(std::localeconv()->decimal_point), point);
    }

    void leadingNumber_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("hasDigits");
        QTest::addColumn<double>("value");
        QTest::newRow("plain") << "7" << true << 7.0;
        QTest::newRow("leading blank") << " 7" << true << 7.0;
        QTest::newRow("blanks, tabs, line feeds anywhere") << " \t1 \n2" << true << 12.0;
        QTest::newRow("sign") << "-8" << true << -8.0;
        QTest::newRow("sign then blank") << "- 9" << true << -9.0;
        QTest::newRow("plus") << "+5" << true << 5.0;
        QTest::newRow("fraction") << "3.5" << true << 3.5;
        QTest::newRow("point first") << ".5" << true << 0.5;
        QTest::newRow("stops at letters") << "12abc" << true << 12.0;
        QTest::newRow("stops at CR") << "-8\r\n7" << true << -8.0;
        QTest::newRow("stops at second point") << "1.2.3" << true << 1.2;
        QTest::newRow("stops at second sign") << "-1-2" << true << -1.0;
        QTest::newRow("letters first") << "COM3" << false << 0.0;
        QTest::newRow("sign only") << "-" << false << 0.0;
        QTest::newRow("double sign") << "--5" << false << 0.0;
        QTest::newRow("sign then letters") << "-abc" << false << 0.0;
        QTest::newRow("empty") << "" << false << 0.0;
        QTest::newRow("point only") << "." << false << 0.0;
        // Past what a double holds: far too large, or as good as nothing.
        QTest::newRow("400 digits")
                << QString(400, u'7') << true << std::numeric_limits<double>::infinity();
        QTest::newRow("-400 digits")
                << u'-' + QString(400, u'7') << true << -std::numeric_limits<double>::infinity();
        QTest::newRow("400 zeros after the point")
                << "0." + QString(400, u'0') + u'1' << true << 0.0;
    }

    void leadingNumber()
    {
        QFETCH(QString, text);
        QFETCH(bool, hasDigits);
        QFETCH(double, value);
        const std::optional<double> read = ::leadingNumber(text);
        QCOMPARE(read.has_value(), hasDigits);
        if (hasDigits)
            QCOMPARE(*read, value);
    }

    void halfToEven_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<bool>("inRange");
        QTest::addColumn<int>("rounded");
        QTest::newRow("3.5 up") << 3.5 << true << 4;
        QTest::newRow("2.5 down") << 2.5 << true << 2;
        QTest::newRow("-2.5") << -2.5 << true << -2;
        QTest::newRow("-9.5") << -9.5 << true << -10;
        QTest::newRow("2.51") << 2.51 << true << 3;
        QTest::newRow("top") << 32767.0 << true << 32767;
        QTest::newRow("bottom") << -32768.0 << true << -32768;
        QTest::newRow("rounds past the top") << 32767.5 << false << 0;
        QTest::newRow("-32768.5 rounds to even inside") << -32768.5 << true << -32768;
        QTest::newRow("far out") << 40000.0 << false << 0;
        QTest::newRow("infinite") << std::numeric_limits<double>::infinity() << false << 0;
    }

    void halfToEven()
    {
        QFETCH(double, value);
        QFETCH(bool, inRange);
        QFETCH(int, rounded);
        const std::optional<qint16> result = toInt16HalfEven(value);
        QCOMPARE(result.has_value(), inRange);
        if (inRange)
            QCOMPARE(int(*result), rounded);
    }

    void portSettings_data()
    {
        QTest::addColumn<QString>("baudText");
        QTest::addColumn<QString>("settings");
        for (const char *rate : { "1200", "2400", "4800", "9600", "19200", "38400" })
            QTest::newRow(rate) << rate << QStringLiteral("%1,N,8,1").arg(QLatin1StringView(rate));
        QTest::newRow("a rate not offered") << "57600" << QString();
        QTest::newRow("trailing blank") << "9600 " << QString();
        QTest::newRow("leading blank") << " 9600" << QString();
        QTest::newRow("the list's start-up text") << "Combo1" << QString();
    }

    void portSettings()
    {
        QFETCH(QString, baudText);
        QFETCH(QString, settings);
        QCOMPARE(portSettingsForBaudText(baudText).value_or(QString()), settings);
    }
};

KORVANET_TEST_MAIN(tst_NumberText)
#include "tst_numbertext.moc"
