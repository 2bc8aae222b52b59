// The program record: the unit of Ondix's saved state.
#pragma once

#include "core/tags.h"

#include <cstddef>

// 1024 parameter values (32-bit floats in host byte order) followed by a
// 32-byte NUL-terminated name: 4128 bytes, no header. A state chunk is
// exactly one record.
struct ProgramRecord {
    float values[tag::Count];
    char name[32];
};
static_assert(sizeof(ProgramRecord) == 4128);
static_assert(offsetof(ProgramRecord, name) == 4096);
