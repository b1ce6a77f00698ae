#include "device/configform.h"

namespace Ui {
class TConfigForm {};
} // namespace Ui

TConfigForm* ConfigForm = nullptr;

TConfigForm::TConfigForm(QWidget* parent) : QDialog(parent) {}
TConfigForm::~TConfigForm() = default;
void TConfigForm::LoadSettings(const TPortSettings&) {}
void TConfigForm::StoreSettings(TPortSettings&) const {}
bool TConfigForm::RtsChecked() const { return true; }
bool TConfigForm::DtrChecked() const { return true; }
