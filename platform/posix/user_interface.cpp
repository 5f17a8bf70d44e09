// User-interface service on Linux: the in-memory dialog model, which a front end renders and
// drives (platform/dialog_model.h).
#include "platform/dialog_model.h"

const UserInterfaceService* userInterfaceService = &dialogModelUserInterface;
