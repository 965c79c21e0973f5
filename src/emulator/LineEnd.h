#pragma once

#include <QByteArray>
#include <QString>

namespace emulator {

// The unit's end of the serial line: where its reports go.
class LineEnd
{
public:
    virtual ~LineEnd() = default;

    // Puts all of `bytes` on the line. False when they did not all go out: errorString() says why,
    // and isOpen() turns false when the line is gone for good.
    virtual bool write(const QByteArray& bytes) = 0;
    // Takes the line away, as when the unit is switched off or unplugged. Does nothing when it is gone.
    virtual void hangUp() = 0;
    virtual bool isOpen() const = 0;
    virtual QString errorString() const = 0;
};

} // namespace emulator
