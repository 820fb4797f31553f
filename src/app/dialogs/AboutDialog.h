#pragma once
// "О программе": the title line in a sunken centred box, the maker, a link to the maker's site.

#include <QDialog>

class QLabel;

class AboutDialog : public QDialog {
  Q_OBJECT

 public:
  AboutDialog(const QString &titleLine, QWidget *parent = nullptr);

  static QString MakerName();
  static QString MakerUrl();

 private:
  QLabel *title_box_ = nullptr;
  QLabel *maker_label_ = nullptr;
  QLabel *maker_link_ = nullptr;  // the link
};
