#pragma once

// Everything the tool writes for the user goes through here, from any thread: plain lines on
// standard output, and on a terminal one live line (the progress of an upgrade) that each new
// state rewrites in place and that plain lines push down. With --json nothing is written on
// standard output until the one JSON object at the end. Every line, live line, table row and
// question is written as printableText shows it (line breaks kept), since any of them may
// quote what a printer sent.

#include "platform/platform_error.h"

#include <string>
#include <vector>

// Decides once, at start, where the lines go. progressOnErrors: with --json, the progress lines
// go to standard error instead of nowhere.
void setupConsoleOutput(bool json, bool progressOnErrors = false);

// Whether standard output is a terminal (and not taken by --json): live lines are shown.
bool liveOutput();

// Whether that terminal also takes the cursor moves that redraw the live table in place (a
// Windows console before Windows 10 does not): else each change gets a plain line.
bool liveTableOutput();

// One line for the user; dropped with --json.
void printUserLine(const std::string& line);

// One line of an upgrade's progress: a user line, or with --json a line on standard error when
// that was asked for.
void printProgressLine(const std::string& line);

// Replaces the live line; on a terminal only.
void showLiveLine(const std::string& line);

// Replaces the live table, several lines that each new state rewrites in place; on a terminal
// only. Rows longer than the terminal is wide are cut rather than wrapped, so that the table
// keeps its height. A line or a question written after it leaves the table where it is; the
// next table then starts below them.
void showLiveTable(const std::vector<std::string>& rows);

// Ends the live line where it stands, so that what follows starts on a new line.
void endLiveLine();

// A question on the terminal (standard error with --json), without a line end; the answer is
// typed after it.
void printPrompt(const std::string& prompt);

// The answer to the question has been typed, line end included.
void promptAnswered();

// A text from a printer as a plain line may show it: every control character (ESC among them,
// which would drive the terminal) and DEL written \xHH, so that nothing a printer sends can
// clear the screen or rewrite a line. A tab only moves the cursor on, and the versions list
// aligns its columns with tabs: it stays. JSON shows texts as they are.
std::string printableText(const std::string& text);

// The closing JSON object: the one thing on standard output with --json.
void printJsonDocument(const std::string& document);

// Writes out whatever is buffered; before the process ends from another thread.
void flushConsoleOutput();

// An error of the platform in words and number, as the tool's lines show it: "connection
// refused (111)".
std::string describedError(PlatformError error);

// The error of a file the user named, as describedError says it, except that a file the tool
// refused itself (a FIFO, a device, a folder) is "not a regular file".
std::string describedFileError(PlatformError error);
