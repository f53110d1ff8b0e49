// SPDX-License-Identifier: GPL-3.0-or-later
#include "pages/core/mountsettingslogic.h"

bool IsMountSettingsEditable(bool fileExists, uint16_t totalParts, uint32_t mountedIndex)
{
    return fileExists && totalParts == 1 && mountedIndex == 0;
}

bool MountSettingsDiffer(const MOUNTSETTINGS& stored, const MOUNTSETTINGS& edited)
{
    auto differs = [](const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) != 0; };
    return differs(stored.MountPath, edited.MountPath) || differs(stored.MountRunCmd, edited.MountRunCmd)
        || differs(stored.UnmountRunCmd, edited.UnmountRunCmd) || stored.MountId != edited.MountId
        || (stored.MountRW != 0) != (edited.MountRW != 0) || (stored.AutoUnmount != 0) != (edited.AutoUnmount != 0)
        || (stored.Commit != 0) != (edited.Commit != 0) || (stored.ClearDir != 0) != (edited.ClearDir != 0);
}

bool HasMountSettings(const MOUNTSETTINGS& stored)
{
    return !stored.MountPath.isEmpty() || !stored.MountRunCmd.isEmpty() || !stored.UnmountRunCmd.isEmpty()
        || stored.MountRW || stored.AutoUnmount || stored.Commit || stored.ClearDir;
}
