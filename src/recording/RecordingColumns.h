#pragma once

#include <QByteArray>
#include <QList>

#include <array>
#include <optional>

namespace recording {

// The columns of a recording, in the order of its CSV header and of a JSON
// line's keys.
enum Column {
    Time,
    Elapsed,
    Event,
    RecvFrames,
    LossFrames,
    ErrorFrames,
    ErrorBits,
    Ber,
    BerLoss,
    Per,
    PerLoss,
    BerText,
    BerLossText,
    PerText,
    PerLossText,
    RunBits,
    RunErrorBits,
    RunBer,
    RunBerUpper,
    RunFrames,
    RunLostFrames,
    RunErrorFrames,
    Detail,
    ColumnCount
};

// The header's name of each column.
inline constexpr std::array<const char*, ColumnCount> kColumnNames{
    "time",
    "elapsed_s",
    "event",
    "recv_frames",
    "loss_frames",
    "error_frames",
    "error_bits",
    "ber",
    "ber_loss",
    "per",
    "per_loss",
    "ber_text",
    "ber_loss_text",
    "per_text",
    "per_loss_text",
    "run_bits",
    "run_error_bits",
    "run_ber",
    "run_ber_upper",
    "run_frames",
    "run_lost_frames",
    "run_error_frames",
    "detail",
};

// Columns that hold texts: JSON quotes them even when they look like numbers.
constexpr bool isTextColumn(int column)
{
    return column == Time || column == Event || (column >= BerText && column <= PerLossText) || column == Detail;
}

} // namespace recording

// The CSV header: column names only, no setting, so that runs with other
// settings append to the same file.
QByteArray csvHeader();
// The header of the version before, which had no run_frames, run_lost_frames
// or run_error_frames.
QByteArray formerCsvHeader();

// The fields of one CSV line, without its newline, quotes undone; nothing
// when a quote is left open. Bytes, not text: commas and quotes are the same
// in UTF-8, and only the event and the detail become text.
std::optional<QList<QByteArray>> csvFields(const QByteArray& line);
