// SPDX-License-Identifier: MIT
// The reasons a failure is shown with, in the user's language: the system's
// errno as a short Japanese sentence for the causes a user meets (no access,
// a full disk, a read-only file system, ...), the system's own text for the
// rest.
#pragma once

#include <QString>

#include "vza/archive/format/archive_error.h"

// The reason for errno error; empty for 0.
QString systemReason(int error);

// The library's reason for error, in the user's language; empty for None.
QString archiveErrorReason(vza::ArchiveError error);

// archiveErrorReason(error), followed by systemReason(systemError) when that
// is not 0.
QString failureReason(vza::ArchiveError error, int systemError);
