#pragma once

#include "common/errors.h"

#include <QString>
#include <type_traits>

// What call returns, as text (empty for a call that returns nothing), or the message of the
// user-visible error it throws.
template <typename TCall> QString Outcome(TCall call) {
    try {
        if constexpr (std::is_void_v<decltype(call())>) {
            call();
            return {};
        } else {
            return QString::number(call());
        }
    } catch (const EKelmorError& error) {
        return error.Message();
    }
}
