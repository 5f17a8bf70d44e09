#pragma once

// The core's records (outcome/outcomes.h) as JSON: the keys of the --json report, and the lines
// of the run's record stream (--json-lines), which a fleet run reads from its children and other
// tools may read too. The stream is a stable interface: keys and words are only ever added.
//
// Each line of the stream is one object with "record" naming what it holds:
//   "probe"     a probe's outcome, as it starts ("result": "running") and as it ends
//   "progress"  the writer's progress: each phase, each second of a wait, each KByte written
//   "verdict"   the upgrade's verdict: as the upgrade command starts, as it stops or its writer
//               starts, and as the writer ends
//   "report"    last: the --json report of the run, with its "messages" and "exitCode"

#include "outcome/outcomes.h"

#include <nlohmann/json.hpp>
#include <string>

// The probe's keys of the --json report: status, model, port, language, board, version, ready,
// caption, upgradeEnabled and variants (the names the combo box was filled with), then what
// only the record knows: probe (its result), route, reason, image, variantImages, address,
// repairOffered, repairOf, cause (why no printer was reached) and statusReply.
nlohmann::json probeOutcomeJson(const ProbeOutcome& outcome);

// A not-ready printer's status reply as hex bytes ("53 00 00 01 00"), empty when none was kept.
std::string statusReplyText(const ProbeOutcome& outcome);

nlohmann::json writerProgressJson(const WriterProgress& progress);

// A progress line read back; false for an object that is not one.
bool writerProgressFromJson(const nlohmann::json& object, WriterProgress* progress);

// The upgrade's keys: image, bytesSent, newVersion, verified, then result, failure, the text
// shown, whether the flash-mode request was taken, and the error ({"kind", "number", "text"})
// when there was one.
nlohmann::json upgradeVerdictJson(const UpgradeVerdict& verdict);

// A verdict read back, for the sentences that explain it; false for an object that is not one.
bool upgradeVerdictFromJson(const nlohmann::json& object, UpgradeVerdict* verdict);

// One line of the record stream: the object with "record" set to kind, compact.
std::string recordStreamLine(const char* kind, nlohmann::json object);

// The JSON text of a report or a stream line: the printer's 8-bit texts that are not UTF-8 show
// as U+FFFD. indent -1 for one line.
std::string jsonText(const nlohmann::json& object, int indent);
