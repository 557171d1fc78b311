#include "modem/commands.h"

namespace {

using namespace Commands;

constexpr FixedCommand fixed[] = {
    {"Command3", ModemType},
    {"Command4", SerialNumber},
    {"Command5", FirmwareRevision},
    {"Command6", RepeaterMode},
    {"Command7", RxFrequency},
    {"Command8", TxFrequency},
    {"Command12", ChannelSpacing},
    {"Command13", ChannelSpacing12_5},
    {"Command14", ChannelSpacing20},
    {"Command15", ChannelSpacing25},
    {"Command16", FecStatus},
    {"Command17", FecOn},
    {"Command18", FecOff},
    {"Command19", NoiseLevel},
    {"Command20", Rssi},
    {"Command22", DisableTransmission},
    {"Command23", EnableTransmission},
    {"Command24", OutputPower},
    {"Command26", CompatibilityMode},
    {"Command29", RefFrequency},
    {"Command31", RepeaterOff},
    {"Command32", RepeaterOn},
};

constexpr ValueCommand values[] = {
    {"Command9", "Text3", SetRxFrequency},
    {"Command10", "Text4", SetTxFrequency},
    {"Command30", "Text1", SetRefFrequency},
    {"Command25", "Text6", SetOutputPower},
    {"Command27", "Text7", SetCompatibilityMode},
};

} // namespace

std::span<const FixedCommand> fixedCommands()
{
    return fixed;
}

std::span<const ValueCommand> valueCommands()
{
    return values;
}

const char *compatibilityModeList()
{
    return "0 = Tavix R4X\r\n"
           "1 = PacCrest 4FSK\r\n"
           "2 = PacCrest GMSK\r\n"
           "3 = TrimTalk GMSK, Rx fits PacCrest modems\r\n"
           "4 = TrimTalk GMSK, Rx fits Trimble modems\r\n"
           "5 = PacCrest-FST";
}
