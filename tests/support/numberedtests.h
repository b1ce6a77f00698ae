#pragma once

#include "drive/testrecord.h"

#include <initializer_list>
#include <memory>
#include <vector>

// Tests as a session file gives them, numbered, with nothing measured and no settings known.
inline std::vector<TTestRecord> NumberedTests(std::initializer_list<int> numbers) {
    std::vector<TTestRecord> tests;
    for (int n : numbers) {
        TTestRecord test;
        test.Number = n;
        test.Settings = std::make_shared<const TKnownSettings>();
        tests.push_back(test);
    }
    return tests;
}
