// SPDX-License-Identifier: GPL-3.0-or-later
// The library missingdep.c needs, built into a folder no search path names.
int kestrel_test_dependency(int x)
{
    return x;
}
