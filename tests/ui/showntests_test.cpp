// Which tests of a history the plot and the history's ticks show: new tests join shown, removed ones
// leave, and a number that comes again with a loaded test is a new test.

#include "ui/deviceview/showntests.h"

#include "drive/drivemodel.h"
#include "harness/fakeport.h"
#include "tests/support/numberedtests.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

namespace {

std::vector<int> Numbers(const TShownTests& shown) {
    std::vector<int> numbers;
    for (const TTestRecord* test : shown.Tests())
        numbers.push_back(test->Number);
    return numbers;
}

} // namespace

TEST(ShownTests, FollowTheHistory) {
    TFakeDeviceLibrary fake;
    TDeviceSlot slot(0, fake.Ports());
    TDriveModel model(slot);
    TStepTests& tests = model.Tests();
    tests.Add(NumberedTests({1, 2}));
    TShownTests shown(tests);
    EXPECT_EQ(Numbers(shown), (std::vector<int>{1, 2})) << "the history as it was";
    QSignalSpy changed(&shown, &TShownTests::Changed);
    const struct {
        const char* Name;
        std::function<void()> Act;
        std::vector<int> Shown;
    } steps[] = {
        {"one hidden", [&] { shown.SetShown(1, false); }, {2}},
        {"a test joins", [&] { tests.Add(NumberedTests({9})); }, {2, 3}},
        {"the hidden one stays hidden as others leave", [&] { tests.Remove({2}); }, {3}},
        {"only one", [&] { shown.ShowOnly({1}); }, {1}},
        {"none", [&] { shown.HideAll(); }, {}},
        {"all removed, a file's tests with the old numbers",
         [&] {
             tests.Remove({1, 3});
             tests.Add(NumberedTests({1, 3}));
         },
         {1, 3}},
    };
    for (const auto& s : steps) {
        changed.clear();
        s.Act();
        EXPECT_EQ(Numbers(shown), s.Shown) << s.Name;
        EXPECT_GE(changed.size(), 1) << s.Name;
    }
}
