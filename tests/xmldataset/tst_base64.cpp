#include "xmldataset/Base64.h"

#include <QRandomGenerator>
#include <numeric>
#include <QtTest>

class TestBase64 : public QObject {
  Q_OBJECT

private slots:
  void vectors_data()
  {
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("output");
    const QByteArray line = QByteArray("eHh4").repeated(19);  // 57 times "x": one full line
    QTest::newRow("f") << QByteArray("f") << QByteArray("Zg==");
    QTest::newRow("58 bytes: a break and ==") << QByteArray(58, 'x') << line + "\r\neA==";
  }
  void vectors()
  {
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, output);
    QCOMPARE(Base64EncodeString(input), output);
    QCOMPARE(Base64EncodedLength(input.size()), int64_t(output.size()));
  }

  // Bytes of every value at every length over a few lines, and megabytes: Qt's encoding, broken
  // into lines of 76 characters, is the reference.
  void randomInputsEncodeAsQtDoes()
  {
    QRandomGenerator rng(20261206);
    QList<qsizetype> sizes(1001);
    std::iota(sizes.begin(), sizes.end(), 0);
    sizes << 3 * 1024 * 1024 + 7;
    for (qsizetype n : sizes) {
      QByteArray input(n, Qt::Uninitialized);
      for (char& c : input)
        c = char(rng.bounded(256));
      const QByteArray plain = input.toBase64();
      QByteArray expected;
      for (qsizetype at = 0; at < plain.size(); at += 76)
        expected += (at ? "\r\n" : "") + plain.mid(at, 76);
      QCOMPARE(Base64EncodeString(input), expected);
      QCOMPARE(Base64EncodedLength(n), int64_t(expected.size()));
    }
  }
};

QTEST_GUILESS_MAIN(TestBase64)
#include "tst_base64.moc"
