// The IPv4 field delivers only well-formed addresses, whatever is typed into it.

#include <QTest>

#include "support/AppTest.h"
#include "widgets/Ipv4Edit.h"

using kalvort::app::Ipv4Edit;

class Ipv4EditTest : public QObject {
  Q_OBJECT

 private slots:
  void parse_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<uint>("value");
    QTest::newRow("plain") << "192.168.0.10" << true << 0xC0A8000Au;
    QTest::newRow("edges") << "0.0.0.0" << true << 0u;
    QTest::newRow("top") << "255.255.255.255" << true << 0xFFFFFFFFu;
    QTest::newRow("leading zeros") << "010.001.000.007" << true << 0x0A010007u;
    QTest::newRow("octet too big") << "1.2.3.256" << false << 0u;
    QTest::newRow("three parts") << "1.2.3" << false << 0u;
    QTest::newRow("five parts") << "1.2.3.4.5" << false << 0u;
    QTest::newRow("empty part") << "1..3.4" << false << 0u;
    QTest::newRow("sign") << "1.2.3.+4" << false << 0u;
    QTest::newRow("space") << "1.2.3. 4" << false << 0u;
    QTest::newRow("four digits") << "1.2.3.0004" << false << 0u;
    QTest::newRow("arabic-indic digit") << QString::fromUtf8("1.2.3.\u0664") << false << 0u;
  }
  void parse() {
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(uint, value);
    const auto v = Ipv4Edit::parse(text);
    QCOMPARE(v.has_value(), ok);
    if (ok) QCOMPARE(*v, uint32_t(value));
  }

  // What can be typed, and what the field delivers when editing ends.
  void typing_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("address");
    QTest::newRow("complete") << "10.0.0.7" << "10.0.0.7" << "10.0.0.7";
    QTest::newRow("letters dropped") << "1a0.0.0.x7" << "10.0.0.7" << "10.0.0.7";
    QTest::newRow("octet over 255 stops") << "10.0.0.2567" << "10.0.0.25" << "10.0.0.25";
    QTest::newRow("incomplete restored") << "10.0." << "0.0.0.0" << "0.0.0.0";
    QTest::newRow("normalised") << "010.000.000.001" << "10.0.0.1" << "10.0.0.1";
  }
  void typing() {
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    QFETCH(QString, address);
    Ipv4Edit edit;
    edit.show();
    edit.clear();
    QTest::keyClicks(&edit, typed);
    QTest::keyClick(&edit, Qt::Key_Return);
    QCOMPARE(edit.address(), address);
    QTest::keyClick(&edit, Qt::Key_Return);
    QCOMPARE(edit.text(), shown);
  }

  void setAddressRefusesMalformed() {
    Ipv4Edit edit;
    QVERIFY(edit.setAddress(QStringLiteral("127.0.0.2")));
    QVERIFY(!edit.setAddress(QStringLiteral("127.0.0")));
    QCOMPARE(edit.address(), QStringLiteral("127.0.0.2"));
    QCOMPARE(edit.value(), 0x7F000002u);
    QCOMPARE(Ipv4Edit::format(0x7F0000FFu), QStringLiteral("127.0.0.255"));
  }
};

KALVORT_APP_TEST_MAIN(Ipv4EditTest)
#include "Ipv4EditTest.moc"
