#pragma once

#include <QString>
#include <stdexcept>

// The errors a user sees in the standard error box. A handler that can fail throws one of these;
// the guard around the handler shows its text and the program goes on.
class EKelmorError : public std::runtime_error {
public:
    explicit EKelmorError(const QString& message)
        : std::runtime_error(message.toStdString()), FMessage(message) {}
    const QString& Message() const { return FMessage; }

private:
    QString FMessage;
};

// A text that is not a valid number.
class EConvertError : public EKelmorError {
    using EKelmorError::EKelmorError;
};

// "Floating point division by zero".
class EZeroDivide : public EKelmorError {
public:
    EZeroDivide() : EKelmorError(QStringLiteral("Floating point division by zero")) {}
};

// "Invalid floating point operation", such as zero divided by zero.
class EInvalidOp : public EKelmorError {
public:
    EInvalidOp() : EKelmorError(QStringLiteral("Invalid floating point operation")) {}
};

// "Floating point overflow": a result too large for its type.
class EOverflow : public EKelmorError {
public:
    EOverflow() : EKelmorError(QStringLiteral("Floating point overflow")) {}
};

// The program was asked to end while an operation waited on a device: the operation stops at its next
// wait. Not one of the errors above: a handler that takes those for a failure of the drive (and asks
// again, or reports it) must not take a shutdown for one, so whoever must end cleanly on it catches
// it by name (a tuning run gives the drive its settings back); the error box shows nothing of it,
// since the program is going.
class EExitRequested : public std::runtime_error {
public:
    EExitRequested() : std::runtime_error("The program is ending") {}
    QString Message() const { return QStringLiteral("The program is ending"); }
};
