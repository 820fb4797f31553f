#include "dialogs/AboutDialog.h"

#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

QString TAboutForm::MakerName() { return QStringLiteral("Калворт — свободная программа"); }
QString TAboutForm::MakerUrl() { return QStringLiteral("https://kalvort.example.org"); }

TAboutForm::TAboutForm(const QString &titleLine, QWidget *parent) : QDialog(parent) {
  setObjectName(QStringLiteral("TAboutForm"));
  setWindowTitle(QStringLiteral("О программе"));
  auto *layout = new QVBoxLayout(this);
  TitleBox = new QLabel(titleLine, this);
  TitleBox->setObjectName(QStringLiteral("TitleBox"));
  TitleBox->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  TitleBox->setAlignment(Qt::AlignCenter);
  TitleBox->setMinimumHeight(40);
  TitleBox->setAccessibleName(titleLine);
  layout->addWidget(TitleBox);
  MakerLabel = new QLabel(MakerName(), this);
  MakerLabel->setAlignment(Qt::AlignCenter);
  MakerLabel->setAccessibleName(MakerName());
  layout->addWidget(MakerLabel);
  MakerLink = new QLabel(this);
  MakerLink->setObjectName(QStringLiteral("MakerLink"));
  MakerLink->setText(QStringLiteral("<a href=\"%1\" style=\"font-weight:bold; text-decoration:underline\">%1</a>")
                      .arg(MakerUrl().toHtmlEscaped()));
  MakerLink->setAlignment(Qt::AlignCenter);
  MakerLink->setCursor(Qt::PointingHandCursor);
  MakerLink->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
  MakerLink->setAccessibleName(MakerUrl());
  // The desktop's own handler opens the address.
  connect(MakerLink, &QLabel::linkActivated, this, [](const QString &link) { QDesktopServices::openUrl(QUrl(link)); });
  layout->addWidget(MakerLink);
  auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
  buttons->button(QDialogButtonBox::Ok)->setAccessibleName(QStringLiteral("OK"));
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  layout->addWidget(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}
