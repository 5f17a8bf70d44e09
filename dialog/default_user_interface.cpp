// The user-interface service on Linux: the in-memory dialog model, which a front end renders and
// drives (dialog/dialog_model.h).
#include "dialog/dialog_model.h"

const UserInterfaceService* userInterfaceService = &dialogModelUserInterface;
