// SPDX-License-Identifier: GPL-3.0-or-later
// The source of lines the viewer's options name: the archive at --archive, else the day
// files of a folder or the files given.
#pragma once

#include "core/log/RecordSource.h"
#include "viewer/ViewerOptions.h"

#include <memory>

// Throws ArchiveError when the archive cannot be reached.
std::unique_ptr<RecordSource> OpenSource(const ViewerOptions& options);

// The stations to show: those asked for, else the source's first. Empty, with the reason
// in `why`, when one asked for is not in the source or the source cannot say what it holds.
QStringList StationsToShow(const ViewerOptions& options, const RecordSource& source, QString& why);
