// SPDX-License-Identifier: GPL-3.0-or-later
// Base of the tests that work on real image files through the imaging layer.
#pragma once

#include "imaginglayer.h"

#include <gtest/gtest.h>

#include <memory>

class RealFileTest : public testing::Test {
protected:
    static void SetUpTestSuite();
    static void TearDownTestSuite();
    void SetUp() override;

    // A fresh folder for this test and a path inside it.
    QString dir() const { return m_dir; }
    QString file(const QString& name) const { return m_dir + u'/' + name; }

private:
    static std::unique_ptr<ImagingLayer> s_layer;
    QString m_dir;
};
