#pragma once

#include "emulator/LineEnd.h"

#include <optional>

namespace emulator {

// A pseudo-terminal whose master side this object holds; the monitor opens slavePath() as its
// serial device.
//
// No slave descriptor is kept open here. Writes to the master succeed whether or not a slave is
// open, and bytes written while none is open wait for the next opener; holding one would only
// keep bytes nobody reads and hide from the master that the monitor has closed the port.
class PseudoTerminal final : public LineEnd
{
public:
    // How the line stands before its opener sets it up. Raw, the unit's line: both sides pass
    // bytes unchanged. Cooked, as a new terminal is: it translates CR, strips bit 7, takes
    // XON/XOFF and ^C and holds bytes back until a line ends, so that only a serial port's own
    // set-up on open makes it pass bytes unchanged; for tests of that set-up.
    enum class Mode { Raw, Cooked };

    explicit PseudoTerminal(Mode mode = Mode::Raw);
    ~PseudoTerminal() override;
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    QString slavePath() const { return m_slavePath; }

    // When the line is full, waits up to kWriteTimeoutMs for the reader before dropping the rest.
    bool write(const QByteArray& bytes) override;
    // Closes the master, as destruction does: a reader on the slave gets end of file or an error
    // from then on, and bytes it has not read yet are gone.
    void hangUp() override;
    bool isOpen() const override { return m_master >= 0; }
    QString errorString() const override { return m_error; }

    // The line's speeds in bits a second as its opener set them and the kernel holds them, any
    // rate (28800 included); nothing where the system does not tell them or the line is gone.
    struct Speeds
    {
        quint32 input = 0;
        quint32 output = 0;
    };
    std::optional<Speeds> speeds() const;

    static constexpr int kWriteTimeoutMs = 200;

private:
    void open(Mode mode);
    bool waitForRoom(int timeoutMs);
    void fail(const QString& what);

    int m_master = -1;
    QString m_slavePath;
    QString m_error;
};

} // namespace emulator
