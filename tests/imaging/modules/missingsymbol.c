// SPDX-License-Identifier: GPL-3.0-or-later
// A module that imports a function no library defines: it must not load.
int kestrel_test_function_nobody_defines(int);

int kestrel_test_answer(int x)
{
    return kestrel_test_function_nobody_defines(x);
}
