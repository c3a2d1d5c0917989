#include "protocol/BoxLists.h"

namespace BoxLists {

const QStringList &RS232Baudrates()
{
    static const QStringList list = {"110", "150", "300", "600", "1200", "2400",
                                     "4800", "9600", "19200", "38400", "57600", "115200"};
    return list;
}

const QStringList &DataBits()
{
    static const QStringList list = {"5", "6", "7", "8"};
    return list;
}

const QStringList &StopBits()
{
    static const QStringList list = {"1", "2"};
    return list;
}

const QStringList &Parities()
{
    static const QStringList list = {"None", "Odd", "Even"};
    return list;
}

const QStringList &NoYes()
{
    static const QStringList list = {"No", "Yes"};
    return list;
}

const QStringList &CanSpecifications()
{
    static const QStringList list = {"2.0A", "2.0B"};
    return list;
}

const QStringList &CanBaudrates()
{
    static const QStringList list = {"10K", "20K", "50K", "100K", "125K", "250K", "500K", "800K", "1000K", "83.3K"};
    return list;
}

const QStringList &EndsOfCommand()
{
    static const QStringList list = {"None", "CR", "LF", "CR_LF", "LF_CR"};
    return list;
}

QString EntryAt(const QStringList &list, int index)
{
    return index >= 0 && index < list.size() ? list.at(index) : QString();
}

} // namespace BoxLists
