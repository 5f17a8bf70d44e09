#pragma once

// The order of the calls that the doubles record, across doubles: each recorded call takes the
// next number, so that a test can tell which of two services was called first (the journal
// written before the spooler's first change).

#include <cstdint>

uint64_t nextCallOrder();
