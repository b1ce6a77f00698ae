#pragma once

#include "drive/steptests.h"

#include <QObject>
#include <QPointer>
#include <set>
#include <vector>

// Which tests of a device's history the plot shows: state of the device window's view, not of the
// drive model. A test joins the plot when it joins the history, and the tests there when the window
// opens are all shown.
class TShownTests : public QObject {
    Q_OBJECT

public:
    explicit TShownTests(TStepTests& tests, QObject* parent = nullptr);

    bool IsShown(int number) const { return FShown.contains(number); }
    void SetShown(int number, bool shown);
    // Exactly the tests of these numbers.
    void ShowOnly(const std::vector<int>& numbers);
    void HideAll() { ShowOnly({}); }
    // The shown tests of the history, oldest first.
    std::vector<const TTestRecord*> Tests() const;

signals:
    void Changed();

private:
    void Follow();

    QPointer<TStepTests> FTests;
    std::set<int> FShown;
    // Every test the view has seen join the history, shown or not.
    std::set<int> FSeen;
};
