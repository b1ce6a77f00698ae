#pragma once

#include "common/errors.h"

#include <QString>

// The standard error box: caption "Kelmor", stop icon, OK, and a full stop at the end of the text.
void ShowErrorBox(const QString& message);

// The text as the box shows it: a full stop is appended when the message lacks one.
QString ErrorBoxText(const QString& message);

// Runs a handler body that can fail. A user-visible error ends the body at once and is shown in
// the standard error box; work already done stays done. An exit that ended the body shows nothing.
// Nothing thrown crosses the event loop.
template <typename Body> void RunGuarded(Body&& body) {
    try {
        body();
    } catch (const EExitRequested&) {
    } catch (const EKelmorError& e) {
        ShowErrorBox(e.Message());
    } catch (const std::exception& e) {
        ShowErrorBox(QString::fromLocal8Bit(e.what()));
    }
}
