#include "xmldataset/Base64.h"

#include <QRandomGenerator>
#include <QtTest>

namespace {
// A decoder of our own, strict about the line structure, to check the encoder against.
QByteArray decode(const QByteArray& text, bool* ok)
{
  *ok = true;
  QByteArray out;
  const QList<QByteArray> lines = text.split('\n');
  for (qsizetype i = 0; i < lines.size(); ++i) {
    QByteArray line = lines[i];
    const bool last = i + 1 == lines.size();
    if (!last) {
      if (!line.endsWith('\r') || line.size() != 77) {
        *ok = false;
        return {};
      }
      line.chop(1);
    } else if (line.size() > 76 || line.contains('\r')) {
      *ok = false;
      return {};
    }
    out += QByteArray::fromBase64(line, QByteArray::AbortOnBase64DecodingErrors);
  }
  return out;
}
}  // namespace

class TestBase64 : public QObject {
  Q_OBJECT

private slots:
  void vectors_data()
  {
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("output");
    const QByteArray line = QByteArray("eHh4").repeated(19);  // 57 times "x": one full line
    QTest::newRow("empty") << QByteArray() << QByteArray();
    QTest::newRow("f") << QByteArray("f") << QByteArray("Zg==");
    QTest::newRow("fo") << QByteArray("fo") << QByteArray("Zm8=");
    QTest::newRow("foobar") << QByteArray("foobar") << QByteArray("Zm9vYmFy");
    QTest::newRow("zero bytes") << QByteArray(2, '\0') << QByteArray("AAA=");
    QTest::newRow("57 bytes: no break") << QByteArray(57, 'x') << line;
    QTest::newRow("58 bytes: a break and ==") << QByteArray(58, 'x') << line + "\r\neA==";
    QTest::newRow("114 bytes: two lines, no break after") << QByteArray(114, 'x') << line + "\r\n" + line;
    QTest::newRow("173 bytes: three lines and =") << QByteArray(173, 'x') << line + "\r\n" + line + "\r\n" + line + "\r\neHg=";
  }
  void vectors()
  {
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, output);
    QCOMPARE(Base64EncodeString(input), output);
    QCOMPARE(Base64EncodedLength(input.size()), int64_t(output.size()));
  }

  void randomRoundTrips()
  {
    QRandomGenerator rng(20261206);
    for (int n = 0; n <= 1000; ++n) {
      QByteArray input(n, Qt::Uninitialized);
      for (char& c : input)
        c = char(rng.bounded(256));
      const QByteArray out = Base64EncodeString(input);
      QCOMPARE(out.size(), qsizetype(Base64EncodedLength(n)));
      bool ok = false;
      QCOMPARE(decode(out, &ok), input);
      QVERIFY2(ok, qPrintable(QStringLiteral("line structure at %1 bytes").arg(n)));
    }
    QByteArray big(3 * 1024 * 1024 + 7, Qt::Uninitialized);
    for (char& c : big)
      c = char(rng.bounded(256));
    bool ok = false;
    QCOMPARE(decode(Base64EncodeString(big), &ok), big);
    QVERIFY(ok);
  }
};

QTEST_GUILESS_MAIN(TestBase64)
#include "tst_base64.moc"
