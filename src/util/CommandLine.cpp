#include "util/CommandLine.h"

namespace util {

void rejectOption(const QString& option, const QString& value, const QString& why)
{
    throw OptionError{QStringLiteral("--%1 '%2': %3").arg(option, value, why)};
}

namespace {

// The value of `option` as `read` makes it of the text given, or nothing when
// the option is not given; an OptionError "not a KIND" when the text is none.
template <typename T, typename Read>
std::optional<T> valueOf(const QCommandLineParser& parser, const QString& option, const char* kind, Read read)
{
    if (!parser.isSet(option))
        return std::nullopt;
    bool ok = false;
    const T value = read(parser.value(option), &ok);
    if (!ok)
        rejectOption(option, parser.value(option), QStringLiteral("not a %1").arg(QLatin1String(kind)));
    return value;
}

} // namespace

std::optional<qint64> wholeOption(const QCommandLineParser& parser, const QString& option, qint64 low, qint64 high)
{
    const std::optional<qint64> value = valueOf<qint64>(
        parser, option, "whole number", [](const QString& text, bool* ok) { return text.toLongLong(ok); });
    if (value && (*value < low || *value > high))
        rejectOption(option, parser.value(option), QStringLiteral("out of range (%1 to %2)").arg(low).arg(high));
    return value;
}

std::optional<double> numberOption(const QCommandLineParser& parser, const QString& option, double low, double high,
                                   Ends ends)
{
    const std::optional<double> value =
        valueOf<double>(parser, option, "number", [](const QString& text, bool* ok) { return text.toDouble(ok); });
    if (value && ends == Ends::Included && !(*value >= low && *value <= high))
        rejectOption(option, parser.value(option), QStringLiteral("out of range (%1 to %2)").arg(low).arg(high));
    if (value && ends == Ends::Excluded && !(*value > low && *value < high))
        rejectOption(option, parser.value(option), QStringLiteral("must be above %1 and below %2").arg(low).arg(high));
    return value;
}

void rejectRepeatedOptions(const QCommandLineParser& parser, const QStringList& names)
{
    for (const QString& name : names)
        if (parser.values(name).size() > 1)
            throw OptionError{QStringLiteral("--%1 given more than once").arg(name)};
}

void rejectExtraArguments(const QCommandLineParser& parser, qsizetype taken)
{
    const QStringList arguments = parser.positionalArguments();
    if (arguments.size() > taken)
        throw OptionError{QStringLiteral("unexpected argument '%1'").arg(arguments[taken])};
}

} // namespace util
