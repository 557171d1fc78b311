// SPDX-License-Identifier: GPL-3.0-or-later
#include "modem/settings.h"
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

    // The replies a profile is read from: tolerant of units, labels and case, and never a
    // guess; a reply that fits no rule is unreadable (an empty value here).
    void replyMeaning_data()
    {
        QTest::addColumn<QString>("setting");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("value");
        QTest::newRow("frequency with its unit")
                << "Rx frequency" << QByteArray("430.32500 MHz") << "430.32500";
        QTest::newRow("frequency without") << "Tx frequency" << QByteArray("431.125") << "431.125";
        QTest::newRow("frequency in lower case")
                << "Ref frequency" << QByteArray(" 430.0 mhz ") << "430.0";
        QTest::newRow("frequency with another unit")
                << "Rx frequency" << QByteArray("-90 dBm") << "";
        QTest::newRow("frequency with another label")
                << "Rx frequency" << QByteArray("RX 430.325 MHz") << "";
        QTest::newRow("two numbers") << "Rx frequency" << QByteArray("430.325 431.0") << "";
        QTest::newRow("spacing as its hundreds")
                << "channel spacing" << QByteArray("12.5 kHz") << "1250";
        QTest::newRow("spacing 25") << "channel spacing" << QByteArray("25") << "2500";
        QTest::newRow("spacing the modem cannot take")
                << "channel spacing" << QByteArray("6.25 kHz") << "";
        QTest::newRow("FEC ON") << "FEC" << QByteArray("FEC ON") << "1";
        QTest::newRow("FEC off, alone") << "FEC" << QByteArray("off") << "0";
        QTest::newRow("FEC as a digit") << "FEC" << QByteArray("1") << "1";
        QTest::newRow("FEC neither") << "FEC" << QByteArray("FEC MAYBE") << "";
        QTest::newRow("repeater ON") << "repeater" << QByteArray("REPEATER ON") << "R";
        QTest::newRow("repeater as a letter") << "repeater" << QByteArray("O") << "O";
        QTest::newRow("power with its unit") << "output power" << QByteArray("500 mW") << "500";
        QTest::newRow("power in watts") << "output power" << QByteArray("0.5 W") << "";
        QTest::newRow("power with a fraction") << "output power" << QByteArray("500.5") << "";
        QTest::newRow("mode with its label") << "compatibility mode" << QByteArray("MODE 3") << "3";
        QTest::newRow("mode without") << "compatibility mode" << QByteArray("3") << "3";
        QTest::newRow("serial params")
                << "serial params" << QByteArray("9600,8,N,1") << "9600,8,N,1";
        QTest::newRow("serial params with blanks")
                << "serial params" << QByteArray("9600, 8, n, 1") << "9600,8,N,1";
        QTest::newRow("serial params garbled")
                << "serial params" << QByteArray("9600,8,N,1\x91") << "";
        QTest::newRow("an ERROR") << "output power" << QByteArray("ERROR") << "";
    }

    void replyMeaning()
    {
        QFETCH(QString, setting);
        QFETCH(QByteArray, reply);
        QFETCH(QString, value);
        const ModemSetting *found = nullptr;
        for (const ModemSetting &s : modemSettings()) {
            if (setting == QLatin1StringView(s.name))
                found = &s;
        }
        QVERIFY(found);
        QCOMPARE(valueFromReply(*found, reply).value_or(QString()), value);
    }

    void sameValue_data()
    {
        QTest::addColumn<int>("setting"); // its place in the table
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<bool>("same");
        QTest::newRow("trailing zeros") << 0 << "431.125"
                                        << "431.12500" << true;
        QTest::newRow("leading zeros") << 6 << "0500"
                                       << "500" << true;
        QTest::newRow("a last digit") << 0 << "431.12501"
                                      << "431.125" << false;
        QTest::newRow("a whole frequency") << 0 << "430"
                                           << "430.00000" << true;
        QTest::newRow("the rate alone") << 8 << "9600"
                                        << "9600,8,N,1" << true;
        QTest::newRow("another format") << 8 << "9600,8,N,1"
                                        << "9600,7,E,1" << false;
        QTest::newRow("another rate") << 8 << "9600"
                                      << "19200,8,N,1" << false;
    }

    void sameValue()
    {
        QFETCH(int, setting);
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(bool, same);
        QCOMPARE(::sameValue(modemSettings()[size_t(setting)], a, b), same);
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
