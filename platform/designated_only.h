#pragma once

// The first member of every table of operations: the services of this folder and their doubles,
// and the product's tables of routes, probes, passes and commands. Nothing converts to it, so a
// table written by position, {posixOpen, posixRead, ...}, does not compile, and every operation is
// named where it is filled in (.open = posixOpen). Several operations share a signature (enable and
// show, read and requestDeviceId, printerName and portName), and a positional table that swapped
// two of them would compile and run the wrong one.
struct DesignatedOnly {
    explicit DesignatedOnly() = default;
};
