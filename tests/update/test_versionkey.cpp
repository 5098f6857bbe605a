#include "update/versionkey.h"

#include <QTest>

using namespace corvane;

class TestVersionKey : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void key_data()
    {
        QTest::addColumn<QString>("version");
        QTest::addColumn<int>("key"); // -1: no key

        QTest::newRow("5.1") << QStringLiteral("5.1") << 5100;
        QTest::newRow("5.1.1") << QStringLiteral("5.1.1") << 5110;
        QTest::newRow("5.1.0.2") << QStringLiteral("5.1.0.2") << 5102;
        QTest::newRow("6.0") << QStringLiteral("6.0") << 6000;
        QTest::newRow("0.0.0.0") << QStringLiteral("0.0.0.0") << 0;
        QTest::newRow("separator not examined") << QStringLiteral("5x2") << 5200;
        QTest::newRow("CR LF after 5.2 lands on a digit place") << QStringLiteral("5.2\r\n") << -1;
        QTest::newRow("CR LF after four parts is ignored") << QStringLiteral("5.2.0.0\r\n") << 5200;
        QTest::newRow("longer text uses its first seven") << QStringLiteral("5.1.1.1.9") << 5111;
        QTest::newRow("empty") << QString() << -1;
        QTest::newRow("one character") << QStringLiteral("5") << -1;
        QTest::newRow("two characters") << QStringLiteral("52") << -1;
        QTest::newRow("four characters") << QStringLiteral("5.1.") << -1;
        QTest::newRow("six characters") << QStringLiteral("5.1.1.") << -1;
        QTest::newRow("letter") << QStringLiteral("a.1") << -1;
        QTest::newRow("minus sign") << QStringLiteral("-.1.1.1") << -1;
        QTest::newRow("plus sign") << QStringLiteral("+.1") << -1;
        QTest::newRow("blank") << QStringLiteral(" .1.1.1") << -1;
        QTest::newRow("two-digit component") << QStringLiteral("10.1") << -1;
        QTest::newRow("non-ASCII digit") << (QChar(0x0665) + QStringLiteral(".1")) << -1;
        QTest::newRow("full-width digit") << (QChar(0xFF15) + QStringLiteral(".1")) << -1;
    }

    void key()
    {
        QFETCH(QString, version);
        QFETCH(int, key);
        const std::optional<int> result = versionKey(version);
        QCOMPARE(result.value_or(-1), key);
    }

    void newer_data()
    {
        QTest::addColumn<QString>("offered");
        QTest::addColumn<bool>("newer");

        QTest::newRow("equal") << QStringLiteral("5.1") << false;
        QTest::newRow("5.1.0.1") << QStringLiteral("5.1.0.1") << true;
        QTest::newRow("older") << QStringLiteral("5.0.9") << false;
        QTest::newRow("6.0") << QStringLiteral("6.0") << true;
        QTest::newRow("5x2") << QStringLiteral("5x2") << true;
        QTest::newRow("5.2 with CR LF") << QStringLiteral("5.2\r\n") << false;
        QTest::newRow("5.2.0.0 with CR LF") << QStringLiteral("5.2.0.0\r\n") << true;
        QTest::newRow("empty") << QString() << false;
        QTest::newRow("no key") << QStringLiteral("abc") << false;
        QTest::newRow("short") << QStringLiteral("9") << false;
    }

    void newer()
    {
        QFETCH(QString, offered);
        QFETCH(bool, newer);
        QCOMPARE(isNewerVersion(offered, u"5.1"), newer);
    }
};

QTEST_GUILESS_MAIN(TestVersionKey)
#include "test_versionkey.moc"
