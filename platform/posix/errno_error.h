#pragma once

// errno as the Linux backends report it: sorted into a kind, the number kept.

#include "platform/platform_error.h"

// The error of a failed call that left this errno value (or returned it, as pthreads do). A
// number of no kind below, and 0 (a failure that left none), are PLATFORM_ERROR_OTHER.
PlatformError errnoError(int number);

// Stores errnoError(number) where the caller asked for an error (error may be null).
void reportErrno(PlatformError* error, int number);

// The error of a failed flock(LOCK_NB): EWOULDBLOCK there means that another holds the lock,
// where elsewhere it means that a bound passed.
PlatformError lockError(int number);
