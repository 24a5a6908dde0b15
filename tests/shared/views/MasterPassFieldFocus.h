#pragma once

#include "SceneHarness.h"

#include "shared/viewmodels/MasterPassInputModel.h"

#include <QTest>
#include <gtest/gtest.h>

#include <functional>

namespace keyvane::views::testing {

// A master-password field of a scene as a person reaches it: it holds the keyboard when it
// shows; Tab takes the keyboard elsewhere and more Tabs bring it back; a click on the dots
// brings it back too. Each time the field shows its focus ring while it has the keyboard, and
// digits typed then fill the dots.
inline void expectFieldReachable(SceneHarness& scene, const char* fieldName, const MasterPassInputModel& input,
                                 const std::function<void()>& settle) {
    SCOPED_TRACE(fieldName);
    auto* field = scene.find(QString::fromUtf8(fieldName));
    ASSERT_NE(field, nullptr);
    auto* keys = SceneHarness::find(field, QStringLiteral("masterPassKeys"));
    auto* ring = SceneHarness::find(field, QStringLiteral("masterPassFocusRing"));
    auto* dots = SceneHarness::find(field, QStringLiteral("masterPassDots"));
    ASSERT_NE(keys, nullptr);
    ASSERT_NE(ring, nullptr) << "the field shows when it has the keyboard";
    ASSERT_NE(dots, nullptr);
    const auto typeDigit = [&](char digit) {
        const int before = input.filledCount();
        QTest::keyClick(&scene.window(), digit);
        settle();
        return input.filledCount() - before;
    };

    EXPECT_TRUE(keys->hasActiveFocus());
    EXPECT_TRUE(ring->isVisible());

    QTest::keyClick(&scene.window(), Qt::Key_Tab);
    settle();
    EXPECT_FALSE(keys->hasActiveFocus()) << "Tab moves on";
    EXPECT_FALSE(ring->isVisible());
    EXPECT_EQ(scene.tabTo(keys), "") << "Tab comes back to the field";
    settle();
    EXPECT_TRUE(ring->isVisible());
    EXPECT_EQ(typeDigit('1'), 1);

    QTest::keyClick(&scene.window(), Qt::Key_Tab);
    scene.click(dots);
    settle();
    EXPECT_TRUE(keys->hasActiveFocus()) << "a click on the dots takes the keyboard; it is on "
                                        << SceneHarness::describe(scene.window().activeFocusItem()).toStdString();
    EXPECT_TRUE(ring->isVisible());
    EXPECT_EQ(typeDigit('2'), 1);
}

} // namespace keyvane::views::testing
