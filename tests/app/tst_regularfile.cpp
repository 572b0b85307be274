// Opening through the plain-file guard: a regular file opens in every mode, a
// missing one is made only for writing alone, and whatever else holds the name
// (a FIFO, with or without a reader, a folder, a link to a FIFO) is refused at
// once and left as it was.

#include "app/RegularFile.h"
#include "tests/support/FifoInPlace.h"
#include "tests/support/TestMain.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <memory>
#include <unistd.h>

Q_DECLARE_METATYPE(RegularFile::Status)
Q_DECLARE_METATYPE(QIODevice::OpenMode)

namespace {
QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
}
} // namespace

class TestRegularFile : public QObject
{
    Q_OBJECT
private slots:
    void cleanup()
    {
        QFile::remove("named.txt");
        QDir("named.txt").removeRecursively();
    }

    void open_data()
    {
        using S = RegularFile::Status;
        const QIODevice::OpenMode read = QIODevice::ReadOnly, both = QIODevice::ReadWrite,
                                  append = QIODevice::Append | QIODevice::Text;
        // What holds the name, the mode, and the status; a regular file holds "abc".
        QTest::addColumn<QString>("holder");
        QTest::addColumn<QIODevice::OpenMode>("mode");
        QTest::addColumn<RegularFile::Status>("status");
        QTest::newRow("regular, read") << "regular" << read << S::Ok;
        QTest::newRow("regular, read and write") << "regular" << both << S::Ok;
        QTest::newRow("regular, append") << "regular" << append << S::Ok;
        QTest::newRow("missing, read") << "missing" << read << S::Missing;
        QTest::newRow("missing, read and write") << "missing" << both << S::Missing;
        QTest::newRow("missing, append: made") << "missing" << append << S::Ok;
        QTest::newRow("FIFO, read") << "fifo" << read << S::NotRegular;
        QTest::newRow("FIFO, read and write") << "fifo" << both << S::NotRegular;
        QTest::newRow("FIFO, append") << "fifo" << append << S::NotRegular;
        QTest::newRow("FIFO with a reader, append")
            << "fifo with a reader" << append << S::NotRegular;
        QTest::newRow("link to a FIFO, append") << "link to a fifo" << append << S::NotRegular;
        QTest::newRow("folder, read") << "folder" << read << S::NotRegular;
        QTest::newRow("folder, append") << "folder" << append << S::NotRegular;
    }
    void open()
    {
        QFETCH(QString, holder);
        QFETCH(QIODevice::OpenMode, mode);
        QFETCH(RegularFile::Status, status);
        const QString path = "named.txt";
        std::unique_ptr<FifoInPlace> fifo;
        int reader = -1;
        if (holder == "regular") {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            QCOMPARE(file.write("abc"), qint64(3));
        } else if (holder == "folder") {
            QVERIFY(QDir().mkpath(path));
        } else if (holder != "missing") {
            const QString fifoPath = holder == "link to a fifo" ? "elsewhere.fifo" : path;
            fifo.reset(new FifoInPlace(fifoPath));
            QVERIFY(fifo->isValid());
            if (holder == "link to a fifo")
                QVERIFY(QFile::link(fifoPath, path));
            if (holder == "fifo with a reader")
                QVERIFY((reader = ::open(path.toLocal8Bit().constData(), O_RDONLY | O_NONBLOCK)) >=
                        0);
        }

        QFile file;
        RegularFile::Status got = RegularFile::Status::Unreadable;
        QString error;
        const auto call = [&] { got = RegularFile::open(file, path, mode, &error); };
        if (fifo)
            QVERIFY2(fifo->returnsWithin(3000, call), "blocked on the FIFO");
        else
            call();
        if (reader >= 0)
            ::close(reader);
        QCOMPARE(got, status);
        QCOMPARE(file.isOpen(), status == RegularFile::Status::Ok);
        QCOMPARE(error.isEmpty(), status == RegularFile::Status::Ok);

        if (status == RegularFile::Status::Ok && (mode & QIODevice::Append)) {
            QCOMPARE(file.write("d\n"), qint64(2));
            file.close();
            QCOMPARE(readAll(path), QByteArray(holder == "regular" ? "abcd\n" : "d\n"));
        } else if (status == RegularFile::Status::Ok) {
            QCOMPARE(file.readAll(), QByteArray("abc"));
        }
        // Nothing made where nothing was, and nothing else touched.
        if (holder == "missing" && status != RegularFile::Status::Ok)
            QVERIFY(!QFileInfo::exists(path) && !QFileInfo(path).isSymLink());
        if (fifo)
            QVERIFY(fifo->stillThere());
        if (holder == "link to a fifo")
            QVERIFY(QFileInfo(path).isSymLink());
        if (holder == "folder")
            QVERIFY(QFileInfo(path).isDir());
    }
};

MAG_TEST_MAIN_CORE(TestRegularFile)
#include "tst_regularfile.moc"
