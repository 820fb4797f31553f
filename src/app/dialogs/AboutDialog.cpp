#include "dialogs/AboutDialog.h"

#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

QString AboutDialog::MakerName() { return QStringLiteral("Калворт — свободная программа"); }
QString AboutDialog::MakerUrl() { return QStringLiteral("https://kalvort.example.org"); }

AboutDialog::AboutDialog(const QString &titleLine, QWidget *parent) : QDialog(parent) {
  setObjectName(QStringLiteral("AboutDialog"));
  setWindowTitle(QStringLiteral("О программе"));
  auto *layout = new QVBoxLayout(this);
  title_box_ = new QLabel(titleLine, this);
  title_box_->setObjectName(QStringLiteral("TitleBox"));
  title_box_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  title_box_->setAlignment(Qt::AlignCenter);
  title_box_->setMinimumHeight(40);
  title_box_->setAccessibleName(titleLine);
  layout->addWidget(title_box_);
  maker_label_ = new QLabel(MakerName(), this);
  maker_label_->setObjectName(QStringLiteral("MakerLabel"));
  maker_label_->setAlignment(Qt::AlignCenter);
  maker_label_->setAccessibleName(MakerName());
  layout->addWidget(maker_label_);
  maker_link_ = new QLabel(this);
  maker_link_->setObjectName(QStringLiteral("MakerLink"));
  maker_link_->setText(QStringLiteral("<a href=\"%1\" style=\"font-weight:bold; text-decoration:underline\">%1</a>")
                         .arg(MakerUrl().toHtmlEscaped()));
  maker_link_->setAlignment(Qt::AlignCenter);
  maker_link_->setCursor(Qt::PointingHandCursor);
  maker_link_->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
  maker_link_->setAccessibleName(MakerUrl());
  // The desktop's own handler opens the address.
  connect(maker_link_, &QLabel::linkActivated, this,
          [](const QString &link) { QDesktopServices::openUrl(QUrl(link)); });
  layout->addWidget(maker_link_);
  auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
  buttons->button(QDialogButtonBox::Ok)->setAccessibleName(QStringLiteral("OK"));
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  layout->addWidget(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}
