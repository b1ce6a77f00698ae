#include "ui/deviceview/showntests.h"

#include <algorithm>

TShownTests::TShownTests(TStepTests& tests, QObject* parent) : QObject(parent), FTests(&tests) {
    Follow();
    connect(&tests, &TStepTests::Changed, this, [this] {
        Follow();
        emit Changed();
    });
}

void TShownTests::Follow() {
    std::set<int> present;
    for (const TTestRecord& test : FTests->All()) {
        present.insert(test.Number);
        if (FSeen.insert(test.Number).second)
            FShown.insert(test.Number);
    }
    // A removed test's number may come again with a loaded one, which is then new.
    std::erase_if(FSeen, [&](int n) { return !present.contains(n); });
    std::erase_if(FShown, [&](int n) { return !present.contains(n); });
}

void TShownTests::SetShown(int number, bool shown) {
    if (IsShown(number) == shown)
        return;
    if (shown)
        FShown.insert(number);
    else
        FShown.erase(number);
    emit Changed();
}

void TShownTests::ShowOnly(const std::vector<int>& numbers) {
    FShown = std::set<int>(numbers.begin(), numbers.end());
    emit Changed();
}

std::vector<const TTestRecord*> TShownTests::Tests() const {
    std::vector<const TTestRecord*> shown;
    if (FTests)
        for (const TTestRecord& test : FTests->All())
            if (IsShown(test.Number))
                shown.push_back(&test);
    return shown;
}
