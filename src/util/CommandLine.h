#pragma once

#include <QCommandLineParser>
#include <QString>
#include <QStringList>

#include <optional>
#include <type_traits>
#include <utility>

namespace util {

// The command lines of the programs without a window. A value at fault ends
// the reading with a message that names the option and the value as given:
// "--port '0': out of range (1 to 256)".
struct OptionError
{
    QString message;
};

// Throws the OptionError "--OPTION 'VALUE': WHY".
[[noreturn]] void rejectOption(const QString& option, const QString& value, const QString& why);

// The value of `option` as a whole number from `low` to `high`; nothing when
// the option is not given. Else an OptionError: "not a whole number", or
// "out of range (1 to 256)".
std::optional<qint64> wholeOption(const QCommandLineParser& parser, const QString& option, qint64 low, qint64 high);

// Whether a range holds its ends: 0 to 1, or above 0 and below 1.
enum class Ends { Included, Excluded };

// The value of `option` as a number from `low` to `high`; nothing when the
// option is not given. Else an OptionError: "not a number", or "out of range
// (0 to 1)" or, without the ends, "must be above 0 and below 1" (NaN is in no range).
std::optional<double> numberOption(const QCommandLineParser& parser, const QString& option, double low, double high,
                                   Ends ends = Ends::Included);

// An OptionError "--NAME given more than once" for the first of `names` given so.
void rejectRepeatedOptions(const QCommandLineParser& parser, const QStringList& names);
// An OptionError "unexpected argument 'TEXT'" when more than `taken` arguments
// that are no option are given.
void rejectExtraArguments(const QCommandLineParser& parser, qsizetype taken = 0);

// What a command line asks for, or what is wrong with it.
template <typename Options>
struct ParsedOptions
{
    Options options;
    QString error; // empty when the command line is good; else names the option or argument at fault

    bool ok() const { return error.isEmpty(); }
};

// Parses `arguments`, the command line after the name of `program`, with
// `parser`, which knows the program's options, and reads what they ask for
// with `read(parser)`. The parser's own message ("Unknown option 'speed'.")
// or that of an OptionError from `read` is the error.
template <typename Read, typename Options = std::invoke_result_t<Read&, const QCommandLineParser&>>
ParsedOptions<Options> parseCommandLine(QCommandLineParser& parser, const QString& program,
                                        const QStringList& arguments, Read read)
{
    ParsedOptions<Options> parsed;
    try {
        if (!parser.parse(QStringList{program} + arguments))
            throw OptionError{parser.errorText()};
        parsed.options = read(std::as_const(parser));
    } catch (const OptionError& error) {
        parsed.error = error.message;
    }
    return parsed;
}

} // namespace util
