#pragma once

// How the Linux local channel finds the device behind a path as the program names it.
//
//   "\\.\usb#vid_VVVV&pid_PPPP#SERIAL#{...}"  the usblp node <dev>/usb/lpN whose USB device has
//                                             that vendor id, product id and serial number, as
//                                             <sysfs>/class/usbmisc/lpN/device/../idVendor,
//                                             idProduct and serial say (compared ignoring case,
//                                             as Windows compares device instance ids)
//   "LPT1:" to "LPT3:"                        <dev>/lp0 to <dev>/lp2 (any case)
//   anything else                             the path itself
//
// The roots are "/sys" and "/dev" unless a test points them at a tree of its own.

#include <cstddef>

void setLocalChannelRoots(const char* sysfsRoot, const char* devRoot);

// Writes the node that a path names into resolved. False when the path is a USB device path
// that no attached device matches, or when the result does not fit.
bool resolveLocalChannelPath(const char* path, char* resolved, size_t size);
