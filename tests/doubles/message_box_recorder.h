#pragma once

// The message boxes of the user-interface service for tests: the dialog model double records
// each box shown and answers it from a queue the test fills.

#include "tests/doubles/dialog_model_double.h"

typedef DialogModelDouble MessageBoxRecorder;
