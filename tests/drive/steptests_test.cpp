// The history of a device's step tests: numbering of tests loaded from session files, removal.

#include "drive/steptests.h"

#include "drive/drivemodel.h"
#include "harness/fakeport.h"
#include "tests/support/numberedtests.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

namespace {

std::vector<int> Numbers(const TStepTests& tests) {
    std::vector<int> numbers;
    for (const TTestRecord& test : tests.All())
        numbers.push_back(test.Number);
    return numbers;
}

} // namespace

// Loaded tests keep their numbers in an empty history and are numbered on otherwise; a number once
// given is not given again, even after its test was removed.
TEST(StepTests, NumbersAndRemoval) {
    TFakeDeviceLibrary fake;
    TDeviceSlot slot(0, fake.Ports());
    TDriveModel model(slot);
    TStepTests& tests = model.Tests();
    QSignalSpy changed(&tests, &TStepTests::Changed);
    const struct {
        const char* Name;
        std::function<void()> Act;
        std::vector<int> Numbers;
        int Changes;
    } steps[] = {
        {"a file into an empty history",
         [&] {
             EXPECT_EQ(tests.Add(NumberedTests({4, 7})), (std::vector<int>{4, 7}));
         },
         {4, 7},
         1},
        {"another file",
         [&] {
             EXPECT_EQ(tests.Add(NumberedTests({1, 2})), (std::vector<int>{8, 9}));
         },
         {4, 7, 8, 9},
         1},
        {"a file without tests", [&] { tests.Add({}); }, {4, 7, 8, 9}, 0},
        {"removing two",
         [&] {
             tests.Remove({7, 9});
         },
         {4, 8},
         1},
        {"removing what is not there",
         [&] {
             tests.Remove({7, 5});
         },
         {4, 8},
         0},
        {"removing all, then a file",
         [&] {
             tests.Remove({4, 8});
             tests.Add(NumberedTests({1}));
         },
         {1},
         2},
        {"and one more", [&] { tests.Add(NumberedTests({1})); }, {1, 10}, 1},
    };
    for (const auto& s : steps) {
        changed.clear();
        s.Act();
        EXPECT_EQ(Numbers(tests), s.Numbers) << s.Name;
        EXPECT_EQ(changed.size(), s.Changes) << s.Name;
    }
    ASSERT_NE(tests.Find(10), nullptr);
    EXPECT_EQ(tests.Find(10)->Number, 10);
    EXPECT_EQ(tests.Find(8), nullptr);
}
