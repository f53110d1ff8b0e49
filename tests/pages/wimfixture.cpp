// SPDX-License-Identifier: GPL-3.0-or-later
#include "wimfixture.h"

#include "common/language.h"
#include "common/settings.h"
#include "ui/drawing.h"

#include <QCoreApplication>

const QString& PageTestSetupProblem()
{
    static const QString problem = [] {
        LoadSettings(QCoreApplication::applicationDirPath());
        LoadLanguageFromFile(QStringLiteral(KESTREL_SOURCE_DIR "/resources/lang/Default.INI"));
        InitDrawingResources();
        QString why;
        if (!BindTestImagingLayer(&why))
            return QStringLiteral("imaging layer not bound: ") + why;
        return QString();
    }();
    return problem;
}

