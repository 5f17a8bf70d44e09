#pragma once

// Puts the program's globals back to their state at process start, so that every test
// begins as a freshly started program would.
void resetProgramState();
