#pragma once

// Puts the program's globals back to their state at process start, and empties the state
// files of the state-file double in force, so that every test begins as a freshly started
// program would.
void resetProgramState();
