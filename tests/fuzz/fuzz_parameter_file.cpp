// Parameter files as they might be found on a disk: all or nothing, and what loads keeps its texts free
// of control characters.

#include "common/errors.h"
#include "drive/parameterfile.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    try {
        const TParameterSet set =
            ParseParameters(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)), "fuzz");
        for (const TFigure& figure : set.Settings)
            for (QChar c : figure.Text())
                if (c == QLatin1Char('\n') || c == QLatin1Char('\r'))
                    std::abort();
    } catch (const EKelmorError&) {
    }
    return 0;
}
