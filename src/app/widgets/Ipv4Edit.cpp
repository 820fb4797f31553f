#include "widgets/Ipv4Edit.h"

#include <QKeyEvent>
#include <QStringList>
#include <QValidator>

namespace kalvort::app {
namespace {

// Accepts what can still become an address: up to four dot-separated groups of up to three
// digits, each at most 255; complete with four non-empty groups.
class Ipv4Validator : public QValidator {
 public:
  using QValidator::QValidator;

  State validate(QString &input, int &) const override {
    if (input.isEmpty()) return Intermediate;
    const QStringList parts = input.split(QLatin1Char('.'));
    if (parts.size() > 4) return Invalid;
    bool complete = parts.size() == 4;
    for (const QString &p : parts) {
      if (p.isEmpty()) {
        complete = false;
        continue;
      }
      if (p.size() > 3) return Invalid;
      for (QChar c : p)
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) return Invalid;
      if (p.toInt() > 255) return Invalid;
    }
    return complete ? Acceptable : Intermediate;
  }
};

}  // namespace

Ipv4Edit::Ipv4Edit(QWidget *parent) : QLineEdit(parent) {
  setValidator(new Ipv4Validator(this));
  setText(last_good_);
  setMaxLength(15);
  connect(this, &QLineEdit::textChanged, this, [this](const QString &text) {
    if (const auto v = parse(text)) last_good_ = format(*v);
  });
}

// QLineEdit reports neither Enter nor focus loss for a text its validator does not accept, so
// both are caught here.
void Ipv4Edit::focusOutEvent(QFocusEvent *event) {
  QLineEdit::focusOutEvent(event);
  restoreComplete();
}

void Ipv4Edit::keyPressEvent(QKeyEvent *event) {
  const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
  if (enter) restoreComplete();
  QLineEdit::keyPressEvent(event);
}

void Ipv4Edit::restoreComplete() {
  if (text() != last_good_) setText(last_good_);
}

QString Ipv4Edit::address() const { return last_good_; }

uint32_t Ipv4Edit::value() const { return parse(last_good_).value_or(0); }

bool Ipv4Edit::setAddress(const QString &text) {
  const auto v = parse(text);
  if (!v) return false;
  last_good_ = format(*v);
  setText(last_good_);
  return true;
}

std::optional<uint32_t> Ipv4Edit::parse(const QString &text) {
  const QStringList parts = text.split(QLatin1Char('.'));
  if (parts.size() != 4) return std::nullopt;
  uint32_t value = 0;
  for (const QString &p : parts) {
    if (p.isEmpty() || p.size() > 3) return std::nullopt;
    for (QChar c : p)
      if (c < QLatin1Char('0') || c > QLatin1Char('9')) return std::nullopt;
    const uint32_t octet = p.toUInt();
    if (octet > 255) return std::nullopt;
    value = value << 8 | octet;
  }
  return value;
}

QString Ipv4Edit::format(uint32_t value) {
  return QStringLiteral("%1.%2.%3.%4")
      .arg(value >> 24)
      .arg((value >> 16) & 0xFF)
      .arg((value >> 8) & 0xFF)
      .arg(value & 0xFF);
}

}  // namespace kalvort::app
