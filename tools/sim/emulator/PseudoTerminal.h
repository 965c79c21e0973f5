#pragma once

#include "emulator/LineEnd.h"

namespace emulator {

// A pseudo-terminal whose master side this object holds; the monitor opens slavePath() as its
// serial device. Both sides pass bytes unchanged (raw mode).
//
// No slave descriptor is kept open here. Writes to the master succeed whether or not a slave is
// open, and bytes written while none is open wait for the next opener; holding one would only
// keep bytes nobody reads and hide from the master that the monitor has closed the port.
class PseudoTerminal final : public LineEnd
{
public:
    PseudoTerminal();
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

    static constexpr int kWriteTimeoutMs = 200;

private:
    void open();
    bool waitForRoom(int timeoutMs);
    void fail(const QString& what);

    int m_master = -1;
    QString m_slavePath;
    QString m_error;
};

} // namespace emulator
