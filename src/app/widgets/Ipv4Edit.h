#pragma once
// Ipv4Edit: a one-line field for a dotted-decimal IPv4 address. Typing is limited to digits and
// dots forming at most four octets of 0..255; when the field loses focus or Enter is pressed an
// incomplete address is put back to the last complete one. address() therefore always delivers
// a well-formed address ("A.B.C.D", each part in decimal without leading zeros).

#include <QLineEdit>
#include <QString>
#include <cstdint>
#include <optional>

namespace kalvort::app {

class Ipv4Edit : public QLineEdit {
  Q_OBJECT
 public:
  explicit Ipv4Edit(QWidget *parent = nullptr);

  // The field's address: the text when it is complete, else the last complete address.
  QString address() const;
  // The address as a number, a.b.c.d = a * 2^24 + b * 2^16 + c * 2^8 + d.
  uint32_t value() const;
  // Shows `text` when it is a well-formed address (normalised); false leaves the field as it is.
  bool setAddress(const QString &text);

  // "A.B.C.D" with four decimal octets of at most three digits and 0..255 each.
  static std::optional<uint32_t> parse(const QString &text);
  static QString format(uint32_t value);

 protected:
  void focusOutEvent(QFocusEvent *event) override;
  void keyPressEvent(QKeyEvent *event) override;

 private:
  void restoreComplete();

  QString last_good_ = QStringLiteral("0.0.0.0");
};

}  // namespace kalvort::app
