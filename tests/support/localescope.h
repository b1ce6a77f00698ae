#pragma once

#include <QLocale>

// Sets the default locale, which the number texts follow, for one test and restores it after.
class TLocaleScope {
public:
    explicit TLocaleScope(const QLocale& locale) { QLocale::setDefault(locale); }
    ~TLocaleScope() { QLocale::setDefault(FSaved); }
    TLocaleScope(const TLocaleScope&) = delete;
    TLocaleScope& operator=(const TLocaleScope&) = delete;

private:
    QLocale FSaved;
};
