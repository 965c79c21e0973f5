#pragma once

#include "serial/CommControl.h"

namespace serial {

// What tests and the fuzzer read of a control that its operations set but
// the window never reads back.
struct CommControlSeam
{
    static QString settings(const CommControl& control) { return control.m_settings.text(); }
    static qint16 rThreshold(const CommControl& control) { return control.m_threshold; }
};

} // namespace serial
