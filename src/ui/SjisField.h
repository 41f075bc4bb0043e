// The edge between the core's Shift-JIS texts and Qt's strings, and an edit-box limit counted in
// Shift-JIS bytes (a host name holds 30 bytes: 30 half-width or 15 full-width characters).
#pragma once

#include <QString>
#include <QValidator>
#include <string>

namespace marlo::ui {

QString FromSjis(const std::string& sjis);
std::string ToSjis(const QString& text);
QString FromUtf8(const std::string& utf8);

class SjisLengthValidator : public QValidator {
    Q_OBJECT
  public:
    SjisLengthValidator(size_t maxBytes, QObject* parent);
    State validate(QString& input, int& pos) const override;

  private:
    size_t maxBytes_;
};

}  // namespace marlo::ui
