#include "platform/FileSink.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// What is at the path afterwards: a file's bytes, or what kind of thing it is.
QByteArray whatIsAt(const QString& path, int fifoReader)
{
  struct stat st {};
  if (::stat(QFile::encodeName(path).constData(), &st) != 0)
    return "<missing>";
  if (S_ISDIR(st.st_mode))
    return "<folder>";
  if (S_ISCHR(st.st_mode))
    return "<device>";
  if (S_ISFIFO(st.st_mode)) {
    QByteArray got(1 << 16, '\0');
    const ssize_t n = ::read(fifoReader, got.data(), size_t(got.size()));
    return "<fifo>" + got.left(n < 0 ? 0 : n);
  }
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

}  // namespace

class TestFileSink : public QObject {
  Q_OBJECT

private slots:
  void writes_data()
  {
    QTest::addColumn<QString>("target");     // in a fresh folder, or an absolute path
    QTest::addColumn<QString>("before");     // "file" (holding "old"), "folder", "fifo" or nothing
    QTest::addColumn<QByteArray>("bytes");   // half appended in pieces, half handed over at once
    QTest::addColumn<QString>("how");        // "commit", "drop" (no commit), "limit" (files stop at 4 KiB), "stream"
    QTest::addColumn<QString>("error");      // %1 is the target
    QTest::addColumn<QByteArray>("after");
    const QByteArray big = QByteArray("abcdefghijklmnopqrstuvw").repeated(9000);  // three chunks and a part
    // First: the device rows below rely on it, or a sink that replaces what it writes would put a
    // plain file in place of /dev/full.
    QTest::newRow("pipe, written directly") << "p" << "fifo" << QByteArray("through\r\nthe pipe") << "commit" << ""
                                            << QByteArray("<fifo>through\r\nthe pipe");
    QTest::newRow("new file") << "t.txt" << "" << big << "commit" << "" << big;
    QTest::newRow("replacing a file") << "t.txt" << "file" << QByteArray("new") << "commit" << "" << QByteArray("new");
    QTest::newRow("empty") << "t.txt" << "file" << QByteArray() << "commit" << "" << QByteArray();
    QTest::newRow("dropped before commit") << "t.txt" << "file" << big << "drop" << "" << QByteArray("old");
    QTest::newRow("failed write keeps the old file")
        << "t.txt" << "file" << big.left(10000) << "limit" << "Cannot write to %1: File too large" << QByteArray("old");
    QTest::newRow("full device") << "/dev/full" << "" << QByteArray("x") << "commit"
                                 << "Cannot write to %1: No space left on device" << QByteArray("<device>");
    QTest::newRow("full device, buffered stream") << "/dev/full" << "" << QByteArray("x") << "stream"
                                                  << "Cannot write to %1: No space left on device" << QByteArray("<device>");
    QTest::newRow("folder") << "t.txt" << "folder" << QByteArray("x") << "commit" << "Cannot create file %1. Is a directory"
                            << QByteArray("<folder>");
    QTest::newRow("missing folder") << "no/such/t.txt" << "" << QByteArray("x") << "commit"
                                    << "Cannot create file %1. No such file or directory" << QByteArray("<missing>");
    QTest::newRow("no name") << "" << "" << QByteArray("x") << "commit" << "Cannot create file \"\". No file name was given."
                             << QByteArray("<missing>");
  }
  void writes()
  {
    QFETCH(QString, target);
    QFETCH(QString, before);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, how);
    QFETCH(QString, error);
    QFETCH(QByteArray, after);
    static bool writesInPlace = false;
    if (target.startsWith(QLatin1String("/dev/")) && !writesInPlace)
      QSKIP("a pipe was not written in place: the device is left alone");
    QTemporaryDir folder;
    const QString path = target.isEmpty() || target.startsWith(QLatin1Char('/')) ? target : folder.filePath(target);
    int fifoReader = -1;
    if (before == QLatin1String("file")) {
      QFile old(path);
      QVERIFY(old.open(QIODevice::WriteOnly) && old.write("old") == 3);
    } else if (before == QLatin1String("folder")) {
      QVERIFY(QDir().mkpath(path));
    } else if (before == QLatin1String("fifo")) {
      QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
      fifoReader = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK);  // so the writer's open returns
      QVERIFY(fifoReader >= 0);
    }

    rlimit unlimited{};
    QVERIFY(getrlimit(RLIMIT_FSIZE, &unlimited) == 0);
    signal(SIGXFSZ, SIG_IGN);  // a write past the limit fails instead of ending the process
    QString message;
    try {
      QFile stream(path);  // buffered: the data goes out at the flush
      if (how == QLatin1String("stream"))
        QVERIFY(stream.open(QIODevice::WriteOnly));
      const auto sink = how == QLatin1String("stream") ? std::make_unique<TFileSink>(&stream) : std::make_unique<TFileSink>(path);
      if (how == QLatin1String("limit")) {
        const rlimit small{4096, unlimited.rlim_max};
        setrlimit(RLIMIT_FSIZE, &small);
      }
      const qsizetype half = bytes.size() / 2;
      for (qsizetype at = 0; at < half; at += 1000) {
        sink->append(bytes.constData() + at, std::min<qsizetype>(1000, half - at));
        sink->flushIfFull();
      }
      sink->write(bytes.constData() + half, bytes.size() - half);
      if (how != QLatin1String("drop"))
        sink->commit();
    } catch (const EFileSinkError& e) {
      message = e.message();
    }
    setrlimit(RLIMIT_FSIZE, &unlimited);

    QCOMPARE(message, error.isEmpty() ? QString() : error.arg(path.isEmpty() ? QStringLiteral("\"\"") : path));
    QCOMPARE(whatIsAt(path, fifoReader), after);
    writesInPlace = writesInPlace || before == QLatin1String("fifo");
    if (fifoReader >= 0)
      ::close(fifoReader);
    // Nothing is left beside the target: no temporary copy of a failed or dropped write.
    QStringList left = QDir(folder.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    left.removeAll(QFileInfo(path).fileName());
    QCOMPARE(left, QStringList());
  }
};

QTEST_GUILESS_MAIN(TestFileSink)
#include "tst_filesink.moc"
