// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/screenfit.h"

#include <QGuiApplication>
#include <QScreen>

#include <algorithm>
#include <cmath>
#include <vector>

namespace ScreenFit {

double shrinkFactor(QSize window, QSize available)
{
    if (window.isEmpty() || available.isEmpty())
        return 1.0;
    const double fit = std::min(double(available.width()) / window.width(),
                                double(available.height()) / window.height());
    return fit >= 1.0 ? 1.0 : std::floor(fit * 1000.0) / 1000.0;
}

void chooseScaleFactor(int argc, char *argv[], QSize window)
{
    QSize available;
    {
        // The application object takes the platform's options (-display, -platform) out of
        // the arguments it is given; the real one must still find them.
        int probeArgc = argc;
        std::vector<char *> probeArgv(argv, argv + argc);
        probeArgv.push_back(nullptr);
        const QGuiApplication probe(probeArgc, probeArgv.data());
        if (const QScreen *screen = QGuiApplication::primaryScreen())
            available = screen->availableGeometry().size();
    }
    const double shrink = shrinkFactor(window, available);
    if (shrink >= 1.0)
        return;
    // The area was measured in the user's own scale; the new factor goes on top of it.
    bool ok = false;
    double user = qEnvironmentVariable("QT_SCALE_FACTOR").toDouble(&ok);
    if (!ok || user <= 0.0)
        user = 1.0;
    qputenv("QT_SCALE_FACTOR", QByteArray::number(user * shrink, 'g', 6));
}

QPoint placement(QSize size, const QRect &available)
{
    const QPoint centred = available.center() - QRect(QPoint(), size).center();
    return {std::max(available.left(), std::min(centred.x(), available.right() + 1 - size.width())),
            std::max(available.top(), std::min(centred.y(), available.bottom() + 1 - size.height()))};
}

} // namespace ScreenFit
