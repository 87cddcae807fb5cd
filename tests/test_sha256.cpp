// The core's own SHA-256 (the golden digests, in the tests and glimra-digest):
// the published test vectors, and any message fed in any pieces equals Qt's
// SHA-256 of it, across the lengths where padding needs one block or two.
#include "render/sha256.h"

#include <QCryptographicHash>
#include <QtTest>

using glimra::Sha256;

namespace {

QByteArray digestOf(const QByteArray& message, qsizetype piece)
{
    Sha256 sha;
    for (qsizetype at = 0; at < message.size(); at += piece)
        sha.add(message.constData() + at, std::size_t(std::min(piece, message.size() - at)));
    return QByteArray::fromStdString(Sha256::hex(sha.finish()));
}

}  // namespace

class TestSha256 : public QObject {
    Q_OBJECT

private slots:
    void vectors_data()
    {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<QByteArray>("digest");
        QTest::newRow("abc") << QByteArray("abc")
                             << QByteArray("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
        QTest::newRow("two blocks") << QByteArray("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq")
                                    << QByteArray("248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    }

    void vectors()
    {
        QFETCH(QByteArray, message);
        QFETCH(QByteArray, digest);
        for (qsizetype piece : {qsizetype(1), qsizetype(5), message.size()})
            QCOMPARE(digestOf(message, piece), digest);
    }

    void likeQt_data()
    {
        QTest::addColumn<int>("length");
        for (int length : {0, 1, 55, 56, 63, 64, 65, 119, 120, 128, 1000, 4099})
            QTest::addRow("%d bytes", length) << length;
    }

    void likeQt()
    {
        QFETCH(int, length);
        QByteArray message(length, Qt::Uninitialized);
        for (int k = 0; k < length; ++k)
            message[k] = char(k * 131 + (k >> 7) + 7);
        const QByteArray qt = QCryptographicHash::hash(message, QCryptographicHash::Sha256).toHex();
        for (qsizetype piece : {qsizetype(1), qsizetype(3), qsizetype(64), qsizetype(67), qsizetype(length + 1)})
            QVERIFY2(digestOf(message, piece) == qt, qPrintable(QStringLiteral("in pieces of %1").arg(piece)));
    }

    // The object starts afresh after a digest, so one host can hash picture after picture.
    void reuse()
    {
        Sha256 sha;
        sha.add("xyz", 3);
        sha.finish();
        sha.add("abc", 3);
        QCOMPARE(QByteArray::fromStdString(Sha256::hex(sha.finish())),
                 QByteArray("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"));
    }
};

QTEST_APPLESS_MAIN(TestSha256)
#include "test_sha256.moc"
