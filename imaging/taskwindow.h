// SPDX-License-Identifier: GPL-3.0-or-later
// The windows of a running operation (labels, progress bar, part list,
// information box) as the engine sees them. Workers, the ticker and the
// message callbacks never touch a widget: they hand each update to the
// operation's poster, which applies it on the GUI thread in the order the
// updates were made. A run without a display simply has no windows.
#pragma once

#include <QString>
#include <functional>

class TaskWindow {
public:
    virtual ~TaskWindow() = default;
    // A label's whole text.
    virtual void setText(const QString& text) = 0;
    // Text added at the end: the information box takes it as it stands (no
    // line break is added), a list takes it as one more line.
    virtual void appendText(const QString& text) = 0;
    // A progress bar's position and the percent text painted over it.
    virtual void setPercent(int percent, const QString& percentText) = 0;
};

// A window made of plain functions, for pages that adapt one widget each:
//   FunctionTaskWindow label; label.onSetText = [w](const QString& t) { w->setText(t); };
// A missing function ignores that kind of update.
struct FunctionTaskWindow : TaskWindow {
    std::function<void(const QString&)> onSetText;
    std::function<void(const QString&)> onAppendText;
    std::function<void(int, const QString&)> onSetPercent;

    void setText(const QString& text) override
    {
        if (onSetText)
            onSetText(text);
    }
    void appendText(const QString& text) override
    {
        if (onAppendText)
            onAppendText(text);
    }
    void setPercent(int percent, const QString& percentText) override
    {
        if (onSetPercent)
            onSetPercent(percent, percentText);
    }
};
