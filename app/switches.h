// SPDX-License-Identifier: GPL-3.0-or-later
// The command-line switch vocabulary. A switch's index is the sub-code of the
// command-line run mode.
#pragma once

#include <QString>
#include <array>

enum SwitchIndex : int {
    kSwitchMount = 0,
    kSwitchMountRW,
    kSwitchReMount,
    kSwitchUnMount,
    kSwitchCleanUp,
    kSwitchApply,
    kSwitchExtrImage,
    kSwitchCapture,
    kSwitchCompPath,
    kSwitchAppend,
    kSwitchRegister,
    kSwitchUnload,
    kSwitchExport,
    kSwitchSplit,
    kSwitchPage,
    kSwitchIcon,
    kSwitchWimTemp,
    kSwitchMountPath,
    kSwitchExtrPath,
    kSwitchAppenPath,
    kSwitchCount
};

extern const std::array<const char16_t*, kSwitchCount> kSwitchNames;

// Index of the switch named `text` (letter case ignored), or -1.
int LookupSwitch(const QString& text);
