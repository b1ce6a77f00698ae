#pragma once

#include "link/capturefile.h"

#include <QString>

class QFileDialog;
class QWidget;

// The file dialog of the file commands. Sending and capturing share it, so it opens where the
// last choice was; a capture may go to a file that does not exist yet.
class TFileChoice {
public:
    // The dialog is the parent's child, made when first asked for.
    explicit TFileChoice(QWidget* parent);

    // Asks for a file and opens it with fopen's mode; none when cancelled or not openable. The
    // chosen path goes to path when one is given.
    TFilePtr ChooseAndOpen(const char* mode, QString* path = nullptr);

private:
    QFileDialog& Dialog();

    QWidget* FParent;
    QFileDialog* FDialog = nullptr;
};
