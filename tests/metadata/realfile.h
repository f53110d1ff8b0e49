// SPDX-License-Identifier: GPL-3.0-or-later
// Base of the tests that work on real image files through the imaging layer.
#pragma once

#include "support/imagefixture.h"

#include <gtest/gtest.h>

class RealFileTest : public testing::Test {
protected:
    void SetUp() override;

    // A fresh folder for this test and a path inside it.
    QString dir() const { return m_dir; }
    QString file(const QString& name) const { return m_dir + u'/' + name; }

private:
    QString m_dir;
};
