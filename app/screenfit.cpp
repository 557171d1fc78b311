// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/screenfit.h"

#include <QScreen>

#include <algorithm>
#include <cmath>
#include <vector>

namespace ScreenFit {
namespace {

double roundedDown(double scale)
{
    return std::floor(scale * 1000.0) / 1000.0;
}

} // namespace

Fit fitFor(QSize client, int frame, QSize available, double devicePixelRatio, double userFactor)
{
    if (client.isEmpty() || available.isEmpty() || devicePixelRatio <= 0.0 || userFactor <= 0.0)
        return {};
    // The area in device pixels. Qt rounds it to whole logical pixels, by up to half of one.
    const double slack = devicePixelRatio == 1.0 ? 0.0 : devicePixelRatio / 2;
    const double width = available.width() * devicePixelRatio - slack;
    const double height = available.height() * devicePixelRatio - slack;

    const QSize window = client + QSize(2 * frame, 2 * frame);
    const double fit = std::min(width / (window.width() * devicePixelRatio),
                                height / (window.height() * devicePixelRatio));
    if (fit >= 1.0 && devicePixelRatio >= 1.0)
        return {};
    // Device pixels per designed pixel at which the window just fits.
    if (devicePixelRatio * std::min(fit, 1.0) >= 1.0)
        return { userFactor * roundedDown(fit), 1.0 };
    // Qt's ratio to 1, or a hair above where the platform's own factor is no round number:
    // below 1 the window would be cut off. The frame then stays as thin as it is.
    const double layout = std::min(1.0,
                                   roundedDown(std::min((width - 2 * frame) / client.width(),
                                                        (height - 2 * frame) / client.height())));
    if (devicePixelRatio == 1.0)
        return { 0.0, layout };
    return { std::ceil(userFactor / devicePixelRatio * 1e6) / 1e6, layout };
}

std::unique_ptr<QApplication> startFitted(int &argc, char **argv, QSize client, int frame,
                                          double *layoutScale)
{
    // The application object takes the platform's options (-display, -platform) out of the
    // arguments; a second one must still find them.
    const int givenArgc = argc;
    const std::vector<char *> given(argv, argv + argc);
    auto app = std::make_unique<QApplication>(argc, argv);
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen) {
        *layoutScale = 1.0;
        return app;
    }
    bool ok = false;
    double user = qEnvironmentVariable("QT_SCALE_FACTOR").toDouble(&ok);
    if (!ok || user <= 0.0)
        user = 1.0;
    const Fit fit = fitFor(client, frame, screen->availableGeometry().size(),
                           screen->devicePixelRatio(), user);
    *layoutScale = fit.layoutScale;
    if (fit.qtScaleFactor > 0.0) {
        app.reset();
        qputenv("QT_SCALE_FACTOR", QByteArray::number(fit.qtScaleFactor, 'g', 9));
        argc = givenArgc;
        std::copy(given.cbegin(), given.cend(), argv);
        app = std::make_unique<QApplication>(argc, argv);
    }
    return app;
}

QPoint placement(QSize size, const QRect &available)
{
    const QPoint centred = available.center() - QRect(QPoint(), size).center();
    return {
        std::max(available.left(), std::min(centred.x(), available.right() + 1 - size.width())),
        std::max(available.top(), std::min(centred.y(), available.bottom() + 1 - size.height()))
    };
}

} // namespace ScreenFit
