#pragma once

#include <QImage>
#include <QString>

// Saves an image as PNG, whole or not at all; throws EKelmorError saying why it could not.
void SavePng(const QString& fileName, const QImage& image);
