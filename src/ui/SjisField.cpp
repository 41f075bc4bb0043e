#include "ui/SjisField.h"

#include "text/Encoding.h"

namespace marlo::ui {

QString FromSjis(const std::string& sjis) {
    return FromUtf8(SjisToUtf8(sjis));
}

std::string ToSjis(const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    return Utf8ToSjis(std::string_view(utf8.constData(), static_cast<size_t>(utf8.size())));
}

QString FromUtf8(const std::string& utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

SjisLengthValidator::SjisLengthValidator(size_t maxBytes, QObject* parent)
    : QValidator(parent), maxBytes_(maxBytes) {}

QValidator::State SjisLengthValidator::validate(QString& input, int&) const {
    return ToSjis(input).size() <= maxBytes_ ? Acceptable : Invalid;
}

}  // namespace marlo::ui
