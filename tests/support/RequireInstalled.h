#pragma once

#include <QByteArray>
#include <QtTest>

// A test that needs a part from outside the project (a Debian package) and
// does not find it: a failure where CI is set, so that a machine without it
// cannot pass untested; elsewhere a skip that names the scripts/install-deps
// purpose that brings it. Used inside a test function, as QSKIP is.
#define BERMON_REQUIRE_INSTALLED(found, package, purpose)                                                         \
    do {                                                                                                           \
        if (!(found)) {                                                                                            \
            const QByteArray why = QByteArray(package) + " is not installed (scripts/install-deps " purpose        \
                                                         " installs it)";                                          \
            if (qEnvironmentVariableIsSet("CI"))                                                                   \
                QFAIL(why.constData());                                                                            \
            QSKIP(why.constData());                                                                                \
        }                                                                                                          \
    } while (false)
