// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/cli/ExitStatus.h"

QString exitstatus::Table() {
    return QStringLiteral("Exit status:\n"
                          "  0  all went well\n"
                          "  1  something an alert should see (a station offline or stale, a "
                          "run that failed)\n"
                          "  2  a wrong command line, or a file it names that cannot be used\n"
                          "  3  a server that cannot be reached (the broker, the archive)\n");
}
