// Number texts: whatever a user types. The first byte picks the decimal comma or point; the rest is
// the text. What StrToInt accepts writes back to the same value, and the shown form of what
// StrToFloat accepts reads back to a value with the same shown form.

#include "common/errors.h"
#include "common/numtext.h"

#include <QLocale>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1)
        return 0;
    QLocale::setDefault(data[0] & 1 ? QLocale(QLocale::Polish, QLocale::Poland) : QLocale::c());
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));

    try {
        const std::int32_t value = StrToInt(text);
        if (StrToInt(QString::number(value)) != value)
            std::abort();
    } catch (const EConvertError&) {
    }

    long double value = 0;
    try {
        value = StrToFloat(text);
    } catch (const EConvertError&) {
        return 0;
    }
    try {
        const QString shown = FloatToText(value);
        if (FloatToText(StrToFloat(shown)) != shown)
            std::abort();
    } catch (const EOverflow&) {
    }
    try {
        TruncToInt32(value);
    } catch (const EOverflow&) {
    }
    return 0;
}
