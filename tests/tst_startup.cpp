// SPDX-License-Identifier: GPL-3.0-or-later
// Start-up, the persisted port and baud-rate choice, and the mirroring of the two baud-rate
// lists, driven through the real widgets as a user drives them.

#include "session/settingsstore.h"
#include "app/form1.h"
#include "serial/widget/responselog.h"
#include "tests/support/pty.h"
#include "tests/support/userinput.h"

#include <QAbstractItemView>
#include <QLineEdit>
#include <QMessageBox>
#include <QSettings>
#include <QSignalSpy>
#include <QTimer>

namespace {

enum class TypedEnd { Return, FocusOut };

void store(const QString &key, const QString &value)
{
    SettingsStore::File settings;
    settings.setValue(QStringLiteral("Settings/") + key, value);
    settings.sync();
}

// Types into the list's edit field and leaves it with Enter or by moving the focus away.
void type(Form1 &form, PickList *list, const QString &text, TypedEnd end)
{
    list->setFocus();
    QTRY_VERIFY(list->hasFocus());
    list->lineEdit()->selectAll();
    QTest::keyClicks(list->lineEdit(), text);
    if (end == TypedEnd::Return)
        QTest::keyClick(list->lineEdit(), Qt::Key_Return);
    QWidget *elsewhere = list == form.Combo2 ? form.Combo1 : form.Combo2;
    elsewhere->setFocus();
    QTRY_VERIFY(elsewhere->hasFocus());
}

bool showActive(QWidget &window)
{
    window.show();
    window.activateWindow();
    return QTest::qWaitForWindowActive(&window);
}

} // namespace

class tst_Startup : public QObject
{
    Q_OBJECT

private slots:
    void init() { resetSettings(); }

    void firstRunDefaults()
    {
        Form1 form;
        QCOMPARE(form.Combo2->currentText(), QStringLiteral("3"));
        QCOMPARE(form.Combo1->currentText(), QStringLiteral("19200"));
        // The modem's list is copied only when the window first appears.
        QCOMPARE(form.Combo3->currentText(), QStringLiteral("Combo3"));
        QCOMPARE(form.Text2->text(), QString());
        form.show();
        QCOMPARE(form.Combo3->currentText(), QStringLiteral("19200"));
        QCOMPARE(form.Combo2->currentIndex(), -1);
        QVERIFY(!storedSetting(QStringLiteral("ComPort")).isValid());
        QVERIFY(!storedSetting(QStringLiteral("BaudRate")).isValid());
        QVERIFY(!form.MSComm1->PortOpen());
    }

    // Opening a list and closing it again chooses nothing, whatever its edit field holds:
    // Qt reports the field's text as activated when the list takes the focus from it.
    void openingAListIsNoPick_data()
    {
        QTest::addColumn<QString>("list");
        QTest::addColumn<QString>("typed");
        QTest::newRow("port list, typed item text") << "Combo2"
                                                    << " 5";
        QTest::newRow("baud list, restored text") << "Combo1"
                                                  << "";
        QTest::newRow("baud list, typed item text") << "Combo1"
                                                    << "4800";
        QTest::newRow("modem baud list, typed item text") << "Combo3"
                                                          << "38400";
    }

    void openingAListIsNoPick()
    {
        QFETCH(QString, list);
        QFETCH(QString, typed);
        Form1 form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        auto *combo = form.findChild<PickList *>(list);
        combo->setVisible(true);
        QSignalSpy picks(combo, &PickList::picked);
        if (!typed.isEmpty()) {
            combo->setFocus();
            combo->lineEdit()->selectAll();
            QTest::keyClicks(combo, typed);
        }
        const QString baud = form.Combo1->currentText();
        const QString modemBaud = form.Combo3->currentText();

        combo->showPopup();
        QTRY_VERIFY(combo->view()->isVisible());
        QTest::keyClick(combo->view(), Qt::Key_Escape);
        QTRY_VERIFY(!combo->view()->isVisible());
        QCoreApplication::processEvents();

        QCOMPARE(picks.count(), 0);
        QVERIFY(!storedSetting(QStringLiteral("ComPort")).isValid());
        QVERIFY(!storedSetting(QStringLiteral("BaudRate")).isValid());
        QCOMPARE(form.Combo1->currentText(), baud);
        QCOMPARE(form.Combo3->currentText(), modemBaud);
    }

    void portListItems()
    {
        Form1 form;
        QCOMPARE(form.Combo2->count(), 1000);
        for (int i = 0; i < form.Combo2->count(); ++i)
            QCOMPARE(form.Combo2->itemText(i), QStringLiteral(" %1").arg(i + 1));
    }

    void pickedPortIsStored_data()
    {
        QTest::addColumn<Pick>("how");
        QTest::addColumn<QString>("item");
        QTest::newRow("arrow key") << Pick::KeyDown << QStringLiteral(" 7");
        QTest::newRow("list, Enter") << Pick::PopupReturn << QStringLiteral(" 7");
        QTest::newRow("list, mouse") << Pick::PopupClick << QStringLiteral(" 7");
        QTest::newRow("four digits") << Pick::PopupReturn << QStringLiteral(" 1000");
    }

    void pickedPortIsStored()
    {
        QFETCH(Pick, how);
        QFETCH(QString, item);
        {
            Form1 form;
            QVERIFY(showActive(form));
            QVERIFY(pick(form.Combo2, item, how));
            QCOMPARE(storedSetting(QStringLiteral("ComPort")).toString(), item);
            QVERIFY(!storedSetting(QStringLiteral("BaudRate")).isValid());
            QCOMPARE(form.Combo1->currentText(), QStringLiteral("19200"));
        }
        Form1 next;
        QCOMPARE(next.Combo2->currentText(), item);
    }

    void typedTextIsNotStored_data()
    {
        QTest::addColumn<QString>("list");
        QTest::addColumn<QString>("before"); // picked first; empty: nothing picked
        QTest::addColumn<QString>("typed");
        QTest::addColumn<TypedEnd>("end");
        QTest::addColumn<QString>("nextStart");

        const auto enter = TypedEnd::Return;
        const auto away = TypedEnd::FocusOut;
        QTest::newRow("port 5, Enter") << "Combo2" << QString() << "5" << enter << "3";
        QTest::newRow("port 5, focus out") << "Combo2" << QString() << "5" << away << "3";
        // A typed text that equals an item must not pass for a pick either.
        QTest::newRow("port item, Enter") << "Combo2"
                                          << " 2"
                                          << " 5" << enter << " 2";
        QTest::newRow("port item, focus out") << "Combo2"
                                              << " 2"
                                              << " 5" << away << " 2";
        QTest::newRow("rate item, Enter") << "Combo1" << QString() << "4800" << enter << "19200";
        QTest::newRow("rate item, focus out") << "Combo1"
                                              << "2400"
                                              << "4800" << away << "2400";
    }

    void typedTextIsNotStored()
    {
        QFETCH(QString, list);
        QFETCH(QString, before);
        QFETCH(QString, typed);
        QFETCH(TypedEnd, end);
        QFETCH(QString, nextStart);
        const QString key =
                list == u"Combo2" ? QStringLiteral("ComPort") : QStringLiteral("BaudRate");
        {
            Form1 form;
            QVERIFY(showActive(form));
            auto *combo = form.findChild<PickList *>(list);
            if (!before.isEmpty())
                QVERIFY(pick(combo, before, Pick::PopupReturn));
            const QString modemRate = form.Combo3->currentText();
            const QVariant storedBefore = storedSetting(key);

            type(form, combo, typed, end);
            QCOMPARE(combo->currentText(), typed);
            QCOMPARE(storedSetting(key), storedBefore);
            // Typing is no choice: the modem's list does not follow either.
            QCOMPARE(form.Combo3->currentText(), modemRate);
        }
        Form1 next;
        QCOMPARE(next.findChild<PickList *>(list)->currentText(), nextStart);
    }

    void pickedRateIsStoredAndMirrored()
    {
        Form1 form;
        QVERIFY(showActive(form));
        QVERIFY(pick(form.Combo1, QStringLiteral("4800"), Pick::PopupReturn));
        QCOMPARE(storedSetting(QStringLiteral("BaudRate")).toString(), QStringLiteral("4800"));
        QCOMPARE(form.Combo3->currentText(), QStringLiteral("4800"));
        QVERIFY(!storedSetting(QStringLiteral("ComPort")).isValid());
    }

    void modemRateMirrorsButIsNotStored_data()
    {
        QTest::addColumn<QString>("storedRate"); // empty: none stored
        QTest::addColumn<QString>("expectedAfterRestart");
        QTest::newRow("empty store") << QString() << "19200";
        QTest::newRow("2400 stored") << "2400"
                                     << "2400";
    }

    void modemRateMirrorsButIsNotStored()
    {
        QFETCH(QString, storedRate);
        QFETCH(QString, expectedAfterRestart);
        if (!storedRate.isEmpty())
            store(QStringLiteral("BaudRate"), storedRate);
        {
            Form1 form;
            QVERIFY(showActive(form));
            QVERIFY(pick(form.Combo3, QStringLiteral("4800"), Pick::PopupReturn));
            QCOMPARE(form.Combo1->currentText(), QStringLiteral("4800"));
            const QVariant rate = storedSetting(QStringLiteral("BaudRate"));
            QCOMPARE(rate.isValid(), !storedRate.isEmpty());
            if (rate.isValid())
                QCOMPARE(rate.toString(), storedRate);
        }
        Form1 next;
        next.show();
        QCOMPARE(next.Combo1->currentText(), expectedAfterRestart);
        QCOMPARE(next.Combo3->currentText(), expectedAfterRestart);
    }

    void storedTextsShowUnchecked_data()
    {
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("rate");
        QTest::newRow("rate no list offers") << " 4"
                                             << "57600";
        QTest::newRow("trailing blank") << "12"
                                        << "9600 ";
        QTest::newRow("no numbers") << "COM3"
                                    << "fast";
        QTest::newRow("empty texts") << ""
                                     << "";
    }

    void storedTextsShowUnchecked()
    {
        QFETCH(QString, port);
        QFETCH(QString, rate);
        store(QStringLiteral("ComPort"), port);
        store(QStringLiteral("BaudRate"), rate);
        Form1 form;
        form.show();
        QCOMPARE(form.Combo2->currentText(), port);
        QCOMPARE(form.Combo1->currentText(), rate);
        QCOMPARE(form.Combo3->currentText(), rate);
        // Showing them is no pick: the store keeps exactly what it had.
        QCOMPARE(storedSetting(QStringLiteral("ComPort")).toString(), port);
        QCOMPARE(storedSetting(QStringLiteral("BaudRate")).toString(), rate);
    }

    void activationCopiesOnce_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("another window") << "window";
        QTest::newRow("message box") << "box";
        QTest::newRow("hidden and shown") << "hide";
    }

    void activationCopiesOnce()
    {
        QFETCH(QString, how);
        Form1 form;
        QVERIFY(showActive(form));
        QVERIFY(pick(form.Combo3, QStringLiteral("1200"), Pick::PopupReturn));
        // Now the two lists differ: a second copy would show at once.
        type(form, form.Combo1, QStringLiteral("2400"), TypedEnd::Return);
        QCOMPARE(form.Combo3->currentText(), QStringLiteral("1200"));

        if (how == u"window") {
            QWidget other;
            other.resize(100, 100);
            QVERIFY(showActive(other));
        } else if (how == u"box") {
            QMessageBox box(QMessageBox::Information, QString(), QStringLiteral("x"),
                            QMessageBox::Ok, &form);
            QTimer::singleShot(0, &box, [&box] {
                QVERIFY(QTest::qWaitForWindowExposed(&box));
                box.accept();
            });
            box.exec();
        } else {
            form.hide();
        }
        QVERIFY(showActive(form));
        QCOMPARE(form.Combo1->currentText(), QStringLiteral("2400"));
        QCOMPARE(form.Combo3->currentText(), QStringLiteral("1200"));
    }
};

KORVANET_TEST_MAIN(tst_Startup)
#include "tst_startup.moc"
