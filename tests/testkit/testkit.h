// SPDX-License-Identifier: MIT
// The whole test kit (without its Qt part), for tests that use most of it.
#pragma once

#include "testkit/archive_builder.h"
#include "testkit/data.h"
#include "testkit/files.h"
#include "testkit/stored_forms.h"
#include "testkit/temp_dir.h"
