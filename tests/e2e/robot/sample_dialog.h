// Identifiers of the robot's sample dialog, shared by its resource script and its code.
#pragma once

#define SAMPLE_DIALOG 100
#define IDC_SHOW_MESSAGE 201
#define IDC_EDIT 202
#define IDC_EDIT_COPY 203
#define IDC_COMBO 204
#define IDC_COMBO_INDEX 205
#define IDC_ASK 206
#define IDC_ANSWER 207
#define IDC_HIDDEN 208
#define IDC_DISABLED 209
