// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Hands the page widgets of this library to the main window; call once
// before the window is built.
void RegisterKestrelPages();
