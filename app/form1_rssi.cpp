// SPDX-License-Identifier: GPL-3.0-or-later
// The window's side of the signal monitor: the graph's switch, its poll a second with the
// transmission cycle of six ticks, and the bar.

#include "app/form1.h"
#include "app/signalshape.h"
#include "modem/commands.h"
#include "monitor/rssigraph.h"
#include "serial/module1.h"
#include "serial/widget/responselog.h"

void Form1::Command34_Click()
{
    if (Command34->text() == u"Show RSSI graph") {
        Text2->setText(QString());
        Label8->show();
        Timer1->start();
        Command34->setText(QStringLiteral("Hide RSSI graph"));
    } else if (Command34->text() == u"Hide RSSI graph") {
        Timer1->stop();
        Command34->setText(QStringLiteral("Show RSSI graph"));
        Shape1->hide();
        Shape2->hide();
        Shape3->hide();
        Label8->hide();
        SendCommand(QString::fromLatin1(Commands::DisableTransmission));
    }
}

void Form1::Timer1_Timer()
{
    ++Laskuri;
    SendCommand(QString::fromLatin1(Commands::Rssi));
    // Every sixth second the modem's transmitter gets a window: on at the third tick, off
    // again at the sixth.
    if (Laskuri == 3) {
        Module1::PumpedWait(100);
        SendCommand(QString::fromLatin1(Commands::EnableTransmission));
    }
    if (Laskuri == 6) {
        Module1::PumpedWait(100);
        SendCommand(QString::fromLatin1(Commands::DisableTransmission));
        Laskuri = 0;
    }
}

void Form1::RssiGraph_Update()
{
    const std::optional<qint16> reading = rssiFromLog(Text2->text());
    if (!reading)
        return;
    RSSI = *reading;
    const BarSegments bar = segmentsFor(bandFor(barLevel(RSSI)));
    SignalShape *const segments[] = { Shape1, Shape2, Shape3 };
    for (int i = 0; i < int(std::size(segments)); ++i) {
        const bool shown = i < bar.shown;
        if (shown)
            segments[i]->setFillColor(QColor::fromRgb(bar.colour));
        segments[i]->setVisible(shown);
    }
}
