// SPDX-License-Identifier: GPL-3.0-or-later
// A module that needs a library the loader cannot find: it must not load.
int kestrel_test_dependency(int);

int kestrel_test_answer(int x)
{
    return kestrel_test_dependency(x);
}
