// SPDX-License-Identifier: GPL-3.0-or-later
// The drawing resources every window shares: the fourteen colours of the
// page brushes, the three fonts, the layout unit and the program icon.
// Created once the application object exists (InitDrawingResources).
#pragma once

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QPalette>

class QWidget;

// Brush indices the pages refer to.
enum BrushIndex : int {
    kBrushDarkRed = 0,     // (200,8,0)
    kBrushRed = 1,         // (255,32,40), hint texts
    kBrushViolet = 2,      // (128,32,240)
    kBrushYellow = 3,      // (255,255,0)
    kBrushHeading = 4,     // (0,0,255), headings and the focused tab
    kBrushWhite = 5,       // (255,255,255), information boxes
    kBrushBackground = 6,  // (244,244,244), windows and dialogs
    kBrushGrey = 7,        // (228,228,228)
    kBrushMidGrey = 8,     // (160,160,160)
    kBrushDarkGrey = 9,    // (100,100,100)
    kBrushBlack = 10,      // (0,0,0)
    kBrushPaleGreen = 11,  // (228,255,228)
    kBrushGreen = 12,      // (176,255,160)
    kBrushLavender = 13,   // (160,160,255)
};
inline constexpr int kBrushCount = 14;

// Colour of brush `index`; black for an index out of range.
QColor BrushColor(int index);

// Sets one colour of a widget's palette to brush `index`; the window colour
// also makes the widget fill its background with it.
void SetBrushColour(QWidget* widget, QPalette::ColorRole role, int index);

// Picks the fonts and measures the layout unit; safe to call again (later
// calls keep the first result). Needs a QGuiApplication.
void InitDrawingResources();

// The main font: the first installed of Consolas, Courier New, Cascadia Code
// and Lucida Console in the size of the default GUI font, else that font.
const QFont& MainFont();
// The main font at weight 600.
const QFont& SemiBoldFont();
// "Tahoma" when installed, else the main font.
const QFont& TahomaFont();

// One third of the height of "O" in the main font; at least 1.
int LayoutUnit();

// The program icon, drawn at run time in the sizes the desktop asks for.
QIcon ProgramIcon();
