#include "app/controltable.h"

#include "app/controlrows.h"

std::span<const ControlRow> controlTable()
{
    return ControlRows::rows;
}

const ControlRow &controlRow(QAnyStringView name)
{
    const QByteArray latin1 = name.toString().toLatin1();
    if (const ControlRow *row = findControlRow(std::string_view(latin1.constData(), latin1.size())))
        return *row;
    // Only a name of the caller's own making (a test's, a tool's) can miss: the window's
    // own names are checked while it is compiled. There is no row to hand back.
    qFatal("The control table has no control named \"%s\".", latin1.constData());
}

QRect pixelRect(const ControlRow &row)
{
    return {row.left / TwipsPerPixel, row.top / TwipsPerPixel, row.width / TwipsPerPixel,
            row.height / TwipsPerPixel};
}

QColor colourOf(ColourClass colour)
{
    switch (colour) {
    case ColourClass::Query:
        return QColor::fromRgb(Colours::Query);
    case ColourClass::Setting:
        return QColor::fromRgb(Colours::Setting);
    case ColourClass::Grey:
        return QColor::fromRgb(Colours::Window);
    case ColourClass::RedFill:
        return QColor::fromRgb(Colours::Red);
    case ColourClass::YellowFill:
        return QColor::fromRgb(Colours::Yellow);
    case ColourClass::GreenFill:
        return QColor::fromRgb(Colours::Green);
    }
    return {};
}
