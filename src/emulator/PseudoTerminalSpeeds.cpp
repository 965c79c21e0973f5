// Apart from PseudoTerminal.cpp: the kernel's termios2, which carries any speed, and the C
// library's <termios.h> cannot be included together.
#include "emulator/PseudoTerminal.h"

#ifdef __linux__
#include <asm/termbits.h>
#include <sys/ioctl.h>
#endif

namespace emulator {

std::optional<PseudoTerminal::Speeds> PseudoTerminal::speeds() const
{
#ifdef __linux__
    // Through the master, the terminal attributes of a pseudo-terminal are those of its slave.
    termios2 attributes{};
    if (m_master >= 0 && ::ioctl(m_master, TCGETS2, &attributes) == 0)
        return Speeds{attributes.c_ispeed, attributes.c_ospeed};
#endif
    return std::nullopt;
}

} // namespace emulator
