#pragma once
// "О программе": the title line in a sunken centred box, the maker, a link to the maker's site.

#include <QDialog>

class QLabel;

class TAboutForm : public QDialog {
  Q_OBJECT

 public:
  TAboutForm(const QString &titleLine, QWidget *parent = nullptr);

  static QString MakerName();
  static QString MakerUrl();

  QLabel *TitleBox = nullptr;
  QLabel *MakerLabel = nullptr;
  QLabel *MakerLink = nullptr;  // the link
};
