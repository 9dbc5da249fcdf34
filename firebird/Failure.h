#pragma once

#include <QString>
#include <QByteArray>
#include <exception>

namespace abd {

/// Base of every failure the program raises: a message text that the error box shows as it stands.
class Failure : public std::exception {
public:
    explicit Failure(QString message) : message_(std::move(message)), utf8_(message_.toUtf8()) {}
    const QString& Message() const noexcept { return message_; }
    const char* what() const noexcept override { return utf8_.constData(); }

private:
    QString message_;
    QByteArray utf8_;
};

/// A failure that ends a handler without any message.
class SilentAbort : public std::exception {
public:
    const char* what() const noexcept override { return "silent abort"; }
};

/// Conversion of a value to another type failed ("'x' não é um valor inteiro válido").
class ConversionError : public Failure {
public:
    using Failure::Failure;
};

} // namespace abd
