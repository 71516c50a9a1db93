#include "Descriptor.h"

#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

#include <future>

using Status = RegularFileRead::Status;

class TestDescriptor : public QObject
{
    Q_OBJECT

private slots:
    void readsOnlyRegularFilesWithinTheLimit_data();
    void readsOnlyRegularFilesWithinTheLimit();
    void aFifoIsRefusedWithoutBlocking();
};

void TestDescriptor::readsOnlyRegularFilesWithinTheLimit_data()
{
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<qint64>("limit");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("small file") << QByteArray("small") << qint64(16) << int(Status::Read)
                                << QByteArray("int x;\n");
    QTest::newRow("exactly the limit")
        << QByteArray("small") << qint64(7) << int(Status::Read) << QByteArray("int x;\n");
    QTest::newRow("one byte over") << QByteArray("small") << qint64(6) << int(Status::TooLarge)
                                   << QByteArray();
    QTest::newRow("empty file") << QByteArray("empty") << qint64(0) << int(Status::Read) << QByteArray();
    QTest::newRow("link to a file") << QByteArray("link") << qint64(16) << int(Status::Read)
                                    << QByteArray("int x;\n");
    QTest::newRow("directory") << QByteArray(".") << qint64(16) << int(Status::NotRegular) << QByteArray();
    // reports size 0 and never ends: refused before a byte is read
    QTest::newRow("/dev/zero") << QByteArray("/dev/zero") << qint64(1 << 20) << int(Status::NotRegular)
                               << QByteArray();
    QTest::newRow("link to /dev/zero")
        << QByteArray("zero") << qint64(1 << 20) << int(Status::NotRegular) << QByteArray();
    QTest::newRow("missing") << QByteArray("missing") << qint64(16) << int(Status::Failed) << QByteArray();
}

void TestDescriptor::readsOnlyRegularFilesWithinTheLimit()
{
    QFETCH(QByteArray, path);
    QFETCH(qint64, limit);
    QFETCH(int, status);
    QFETCH(QByteArray, bytes);

    QTemporaryDir dir;
    const QByteArray root = QFile::encodeName(dir.path()) + '/';
    QFile small(dir.filePath(QStringLiteral("small")));
    QVERIFY(small.open(QIODevice::WriteOnly) && small.write("int x;\n") == 7);
    small.close();
    QFile empty(dir.filePath(QStringLiteral("empty")));
    QVERIFY(empty.open(QIODevice::WriteOnly));
    empty.close();
    QVERIFY(QFile::link(small.fileName(), dir.filePath(QStringLiteral("link"))));
    QVERIFY(QFile::link(QStringLiteral("/dev/zero"), dir.filePath(QStringLiteral("zero"))));

    const RegularFileRead read = readRegularFile(path.startsWith('/') ? path : root + path, limit);
    QCOMPARE(int(read.status), status);
    QCOMPARE(read.bytes, bytes);
    QCOMPARE(read.error != 0, status == int(Status::Failed));
}

void TestDescriptor::aFifoIsRefusedWithoutBlocking()
{
    QTemporaryDir dir;
    const QByteArray fifo = QFile::encodeName(dir.filePath(QStringLiteral("fifo")));
    QVERIFY(::mkfifo(fifo.constData(), 0600) == 0);
    auto reading = std::async(std::launch::async, [&] { return readRegularFile(fifo, 1024); });
    // a hang fails here instead of blocking the run; the open end below frees the reader either way
    const bool ended = reading.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    if (!ended) {
        QFile writer(QFile::decodeName(fifo));
        (void)writer.open(QIODevice::WriteOnly);
    }
    QVERIFY2(ended, "reading a FIFO blocked");
    QCOMPARE(int(reading.get().status), int(Status::NotRegular));
}

QTEST_GUILESS_MAIN(TestDescriptor)
#include "tst_descriptor.moc"
