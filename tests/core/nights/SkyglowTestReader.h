// SPDX-License-Identifier: GPL-3.0-or-later
// The tests read back the station's skyglow files with the strict reader of the format
// the viewer uses for other instruments' files, under the names the tests know it by.
#pragma once

#include "core/nights/SkyglowReader.h"

namespace skyglowtest {

using Row = skyglow::Row;
using Read = skyglow::Parsed;

inline Read ReadSkyglow(const QByteArray& file) {
    return skyglow::Parse(file);
}

} // namespace skyglowtest
